#pragma once

#include <map>
#include <string>

#include "foundation/extension/ISettingsStore.h"

namespace extension {

// Settings kept in memory only, one map per domain (0 and 1); other domains read empty and
// ignore writes. Secure settings share the same maps.
class NonPersistentStore : public ISettingsStore {
public:
    std::string LoadSetting(Domain domain, const std::string& key) override;
    void SaveSetting(Domain domain, const std::string& key, const std::string& value) override;
    bool HasSecureSetting(Domain domain, const std::string& key) override;
    std::string LoadSecureSetting(Domain domain, const std::string& key) override;
    void SaveSecureSetting(Domain domain, const std::string& key,
                           const std::string& value) override;

private:
    std::map<std::string, std::string>* MapOf(Domain domain);

    std::map<std::string, std::string> _domain0;
    std::map<std::string, std::string> _domain1;
};

}  // namespace extension
