#include "foundation/extension/NonPersistentStore.h"

namespace extension {

std::map<std::string, std::string>* NonPersistentStore::MapOf(Domain domain) {
    switch (static_cast<int32_t>(domain)) {
        case 0:
            return &_domain0;
        case 1:
            return &_domain1;
        default:
            return nullptr;
    }
}

std::string NonPersistentStore::LoadSetting(Domain domain, const std::string& key) {
    const auto* map = MapOf(domain);
    if (map == nullptr) {
        return std::string();
    }
    const auto found = map->find(key);
    return found != map->end() ? found->second : std::string();
}

void NonPersistentStore::SaveSetting(Domain domain, const std::string& key,
                                     const std::string& value) {
    auto* map = MapOf(domain);
    if (map != nullptr) {
        (*map)[key] = value;
    }
}

bool NonPersistentStore::HasSecureSetting(Domain domain, const std::string& key) {
    return MapOf(domain) != nullptr &&
           !static_cast<ISettingsStore*>(this)->LoadSetting(domain, key).empty();
}

std::string NonPersistentStore::LoadSecureSetting(Domain domain, const std::string& key) {
    return static_cast<ISettingsStore*>(this)->LoadSetting(domain, key);
}

void NonPersistentStore::SaveSecureSetting(Domain domain, const std::string& key,
                                           const std::string& value) {
    static_cast<ISettingsStore*>(this)->SaveSetting(domain, key, value);
}

}  // namespace extension
