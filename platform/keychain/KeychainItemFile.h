#pragma once

#include <cstddef>
#include <string>

#include "platform/keychain/KeychainItem.h"

namespace standin {

// The on-disk form of one keychain item: its file name and its content.
//
// File names: "gp-" + hex(label) for a generic password; for an internet password
// "ip-" + hex(server) + "-" + hex(account) + "-" + protocol (8 hex digits) + "-" + port.
// Content: one "key value" line per field, every text in hex, closed by a checksum line over
// all bytes before it, so that a truncated or damaged file is recognised as such.
class KeychainItemFile {
public:
    // Longest file name the file systems we run on take.
    static constexpr std::size_t MaxFileNameLength = 255;
    // Largest item file that is read.
    static constexpr std::size_t MaxFileSize = 1024 * 1024;

    // The file name of the item's identity; empty when it would be longer than
    // MaxFileNameLength.
    static std::string fileName(const KeychainItem& item);
    static std::string genericPasswordFileName(const std::string& label);
    static std::string internetPasswordFileName(const std::string& server,
                                                const std::string& account, uint32_t protocol,
                                                uint16_t port);

    // Reads the identity of an internet-password item from its file name into `identity`
    // (class, server, account, protocol, port); false, with `identity` untouched, when the name
    // is not one of an internet-password item.
    static bool parseInternetPasswordFileName(const std::string& name, KeychainItem& identity);

    static std::string encode(const KeychainItem& item);
    // Fills `item` only when `content` is a complete, undamaged item file.
    static bool decode(const std::string& content, KeychainItem& item);
};

}  // namespace standin
