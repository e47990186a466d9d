#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "common/params/IParams.h"

namespace testsupport {

// A writable parameter store in memory, safe to share between threads.
class MemoryParams : public common::IParams {
public:
    MemoryParams() = default;
    explicit MemoryParams(std::map<std::string, std::string> values) : _values(std::move(values)) {}

    // Replaces every value at once.
    void assign(std::map<std::string, std::string> values) {
        std::lock_guard<std::mutex> lock(_mutex);
        _values = std::move(values);
    }

    // While refusing, setValue fails and changes nothing, like a store that cannot be written.
    void refuseWrites(bool refuse) {
        std::lock_guard<std::mutex> lock(_mutex);
        _refuseWrites = refuse;
    }

    bool isReadOnly() const override { return false; }
    std::string getValue(const std::string& key, const std::string& defaultValue) const override {
        std::lock_guard<std::mutex> lock(_mutex);
        const auto found = _values.find(key);
        return found == _values.end() ? defaultValue : found->second;
    }
    bool setValue(const std::string& key, std::string value) override {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_refuseWrites) {
            return false;
        }
        _values[key] = std::move(value);
        return true;
    }
    bool hasValue(const std::string& key) const override {
        std::lock_guard<std::mutex> lock(_mutex);
        return _values.count(key) != 0;
    }
    bool removeValue(const std::string& key) override {
        std::lock_guard<std::mutex> lock(_mutex);
        return _values.erase(key) != 0;
    }
    std::set<std::string> getKeys() const override {
        std::lock_guard<std::mutex> lock(_mutex);
        std::set<std::string> keys;
        for (const auto& value : _values) {
            keys.insert(value.first);
        }
        return keys;
    }

private:
    mutable std::mutex _mutex;
    std::map<std::string, std::string> _values;
    bool _refuseWrites = false;
};

}  // namespace testsupport
