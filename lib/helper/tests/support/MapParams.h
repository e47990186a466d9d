#pragma once

#include <map>
#include <set>
#include <string>

#include "common/params/IParams.h"

namespace helpertest {

// A writable parameter store in memory.
class MapParams : public common::IParams {
public:
    MapParams() = default;
    explicit MapParams(std::map<std::string, std::string> values) : values(std::move(values)) {}

    bool isReadOnly() const override { return false; }
    std::string getValue(const std::string& key, const std::string& defaultValue) const override {
        const auto found = values.find(key);
        return found == values.end() ? defaultValue : found->second;
    }
    bool setValue(const std::string& key, std::string value) override {
        values[key] = std::move(value);
        return true;
    }
    bool hasValue(const std::string& key) const override { return values.count(key) > 0; }
    bool removeValue(const std::string& key) override { return values.erase(key) > 0; }
    std::set<std::string> getKeys() const override {
        std::set<std::string> keys;
        for (const auto& entry : values) {
            keys.insert(entry.first);
        }
        return keys;
    }

    std::map<std::string, std::string> values;
};

}  // namespace helpertest
