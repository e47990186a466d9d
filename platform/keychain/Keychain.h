#pragma once

#include <boost/filesystem/path.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/keychain/KeychainItem.h"

namespace standin {

// The keychain: a file store in <system root>/Library/Keychains (created 0700), one file per
// item (0600). An item is written to a temporary file in that folder, flushed to disk and
// renamed over its file, so a reader sees either the previous item or the new one, never a
// partial one. Output arguments are assigned only when the call succeeds.
//
// The operations keep no state and may be called from any thread and any process.
class Keychain {
public:
    // <system root>/Library/Keychains
    static boost::filesystem::path folder();

    // Stores the item, replacing the stored item of the same identity (a generic password's
    // label; an internet password's server, account, protocol and port) in one step.
    static KeychainStatus storeItem(const KeychainItem& item);

    static KeychainStatus findGenericPassword(const std::string& label, KeychainItem& item);
    static KeychainStatus deleteGenericPassword(const std::string& label);

    // Every internet password with that protocol (0: any), ordered by server, account,
    // protocol and port. Unreadable items are left out; errSecDecode when nothing but
    // unreadable items matched, errSecItemNotFound when nothing matched.
    static KeychainStatus findInternetPasswords(uint32_t protocol,
                                                std::vector<KeychainItem>& items);
    // The internet password of that server, account and protocol; port 0 matches any port
    // (the lowest stored port wins).
    static KeychainStatus findInternetPassword(const std::string& server,
                                               const std::string& account, uint32_t protocol,
                                               uint16_t port, KeychainItem& item);
    static KeychainStatus deleteInternetPassword(const std::string& server,
                                                 const std::string& account, uint32_t protocol,
                                                 uint16_t port);
};

}  // namespace standin
