#pragma once

#include <cstdint>
#include <string>

namespace extension {

// Key-value settings by domain.
class ISettingsStore {
public:
    // A settings domain; stores implement the values 0 and 1.
    enum Domain : int32_t {};

    virtual ~ISettingsStore() = default;

    virtual std::string LoadSetting(Domain domain, const std::string& key) = 0;
    virtual void SaveSetting(Domain domain, const std::string& key, const std::string& value) = 0;
    virtual bool HasSecureSetting(Domain domain, const std::string& key) = 0;
    virtual std::string LoadSecureSetting(Domain domain, const std::string& key) = 0;
    virtual void SaveSecureSetting(Domain domain, const std::string& key,
                                   const std::string& value) = 0;
};

}  // namespace extension
