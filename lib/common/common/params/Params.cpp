#include "common/params/Params.h"

#include "common/params/SecretParams.h"

namespace common {

Params::Params() : _logger(ILogger::create("Params")) {}

Params::~Params() = default;

void Params::lock() {
    _mutex.lock();
}

void Params::unlock() {
    _mutex.unlock();
}

bool Params::isReadOnly() const {
    std::lock_guard<std::recursive_mutex> guard(_mutex);
    for (const auto& layer : _layers) {
        if (!layer.second->isReadOnly()) {
            return false;
        }
    }
    return true;
}

std::string Params::getValue(const std::string& key, const std::string& defaultValue) const {
    std::lock_guard<std::recursive_mutex> guard(_mutex);
    for (const auto& layer : _layers) {
        if (!layer.second->hasValue(key)) {
            continue;
        }
        std::string value = layer.second->getValue(key, std::string());
        if (!value.empty()) {
            return value;
        }
    }
    return defaultValue;
}

bool Params::setValue(const std::string& key, std::string value) {
    std::lock_guard<std::recursive_mutex> guard(_mutex);
    bool accepted = false;
    for (const auto& layer : _layers) {
        if (layer.second->isReadOnly()) {
            continue;
        }
        _logger->debug("Writable layer found, SetValue: %s: %s", key.c_str(),
                       SecretParams::mask(key, value).c_str());
        if (layer.second->setValue(key, value)) {
            accepted = true;
        } else {
            _logger->warning("SetValue failed. Key: %s", key.c_str());
        }
    }
    return accepted;
}

bool Params::hasValue(const std::string& key) const {
    std::lock_guard<std::recursive_mutex> guard(_mutex);
    return !getValue(key, std::string()).empty();
}

bool Params::removeValue(const std::string& key) {
    std::lock_guard<std::recursive_mutex> guard(_mutex);
    bool removedEverywhere = true;
    for (const auto& layer : _layers) {
        if (!layer.second->removeValue(key)) {
            removedEverywhere = false;
        }
    }
    return removedEverywhere;
}

std::set<std::string> Params::getKeys() const {
    std::lock_guard<std::recursive_mutex> guard(_mutex);
    std::set<std::string> keys;
    for (const auto& layer : _layers) {
        const auto layerKeys = layer.second->getKeys();
        keys.insert(layerKeys.begin(), layerKeys.end());
    }
    return keys;
}

void Params::addLayer(std::unique_ptr<IParams> layer, int number) {
    if (!layer) {
        _logger->error("Cannot add an empty parameter layer as layer %d", number);
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(_mutex);
    if (_layers.count(number) != 0) {
        return;  // the layer in place stays; the new one ends with this call
    }
    _layers.emplace(number, std::move(layer));
}

}  // namespace common
