#pragma once

#include <cstdint>
#include <string>

namespace standin {

// The HTTPS proxy entry of the system network settings, read from
// <system root>/Library/Preferences/SystemConfiguration/proxies.json, e.g.
//     {"HTTPSEnable":1,"HTTPSProxy":"proxy.example","HTTPSPort":3128}
// A missing key reads as 0 or empty.
struct SystemProxySettings {
    int32_t httpsEnable = 0;
    std::string httpsProxy;
    uint16_t httpsPort = 0;

    static std::string file();
    // False when there are no proxy settings (no file, or not a JSON object).
    static bool copy(SystemProxySettings& settings);
};

}  // namespace standin
