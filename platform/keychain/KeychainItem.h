#pragma once

#include <cstdint>
#include <string>

namespace standin {

// Result codes of the keychain, numbered as the Security framework numbers its OSStatus values.
enum KeychainStatus : int32_t {
    errSecSuccess = 0,
    errSecIO = -36,
    errSecParam = -50,
    errSecDuplicateItem = -25299,
    errSecItemNotFound = -25300,
    errSecDecode = -26275,
};

enum class KeychainItemClass {
    GenericPassword,
    InternetPassword,
};

// Protocol code of internet passwords for an HTTPS proxy (the four characters "htsx").
constexpr uint32_t kSecProtocolTypeHTTPSProxy = 0x68747378u;

// One keychain item. Texts are UTF-8; the secret is any bytes.
// A generic password is identified by its label alone; an internet password by server,
// account, protocol and port.
struct KeychainItem {
    KeychainItemClass itemClass = KeychainItemClass::GenericPassword;
    std::string label;
    std::string account;
    std::string server;
    uint32_t protocol = 0;
    uint16_t port = 0;
    std::string secret;

    bool operator==(const KeychainItem& other) const {
        return itemClass == other.itemClass && label == other.label && account == other.account &&
               server == other.server && protocol == other.protocol && port == other.port &&
               secret == other.secret;
    }
    bool operator!=(const KeychainItem& other) const { return !(*this == other); }
};

}  // namespace standin
