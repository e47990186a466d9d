#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "common/params/IParams.h"

namespace testsupport {

// A writable parameter store in memory.
class MemoryParams : public common::IParams {
public:
    bool isReadOnly() const override { return false; }
    std::string getValue(const std::string& key, const std::string& defaultValue) const override {
        std::lock_guard<std::mutex> lock(_mutex);
        const auto found = _values.find(key);
        return found == _values.end() ? defaultValue : found->second;
    }
    bool setValue(const std::string& key, std::string value) override {
        std::lock_guard<std::mutex> lock(_mutex);
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
};

}  // namespace testsupport
