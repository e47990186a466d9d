#include "common/safestore/SafeStore.h"

namespace common {

bool SafeStore::isReadOnly() const {
    return false;
}

std::string SafeStore::getValue(const std::string& key, const std::string& defaultValue) const {
    const auto map = loadStore();
    const auto found = map.find(key);
    return found != map.end() ? found->second : defaultValue;
}

bool SafeStore::setValue(const std::string& key, std::string value) {
    auto map = loadStore();
    map[key] = std::move(value);
    return saveStore(map);
}

bool SafeStore::hasValue(const std::string& key) const {
    return loadStore().count(key) != 0;
}

bool SafeStore::removeValue(const std::string& key) {
    auto map = loadStore();
    if (map.erase(key) == 0) {
        return false;
    }
    return saveStore(map);
}

std::set<std::string> SafeStore::getKeys() const {
    std::set<std::string> keys;
    for (const auto& entry : loadStore()) {
        keys.insert(entry.first);
    }
    return keys;
}

void SafeStore::clear() {
    saveStore({});
}

}  // namespace common
