#include "platform/keychain/Keychain.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <tuple>

#include "platform/keychain/KeychainItemFile.h"
#include "platform/systemroot/SystemRoot.h"

namespace standin {

namespace {

namespace fs = boost::filesystem;

const char* const TemporaryPrefix = ".tmp-";

// Makes the keychain folder (0700) when it is missing. An existing folder is used as it is,
// but it must be a real folder, not a symbolic link or a file.
KeychainStatus ensureFolder(const fs::path& folder) {
    struct stat status {};
    if (lstat(folder.c_str(), &status) == 0) {
        return S_ISDIR(status.st_mode) ? errSecSuccess : errSecIO;
    }
    if (errno != ENOENT) {
        return errSecIO;
    }
    boost::system::error_code error;
    fs::create_directories(folder.parent_path(), error);
    if (error) {
        return errSecIO;
    }
    if (mkdir(folder.c_str(), 0700) == 0) {
        // The umask may only have taken bits away; make the mode exact.
        return chmod(folder.c_str(), 0700) == 0 ? errSecSuccess : errSecIO;
    }
    if (errno == EEXIST && lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return errSecSuccess;
    }
    return errSecIO;
}

bool writeAll(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t result = write(fd, content.data() + written, content.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(result);
    }
    return true;
}

void syncFolder(const fs::path& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Writes `content` to a temporary file of `folder`, flushes it and renames it to `name`.
KeychainStatus replaceFile(const fs::path& folder, const std::string& name,
                           const std::string& content) {
    std::string temporary = (folder / (std::string(TemporaryPrefix) + "XXXXXX")).string();
    const int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) {
        return errSecIO;
    }
    bool written = fchmod(fd, 0600) == 0 && writeAll(fd, content) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), (folder / name).c_str()) != 0) {
        unlink(temporary.c_str());
        return errSecIO;
    }
    syncFolder(folder);
    return errSecSuccess;
}

KeychainStatus readFile(const fs::path& path, std::string& content) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? errSecItemNotFound : errSecIO;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return errSecIO;
    }
    std::string result;
    char buffer[8192];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            close(fd);
            return errSecIO;
        }
        if (count == 0) {
            break;
        }
        result.append(buffer, static_cast<std::size_t>(count));
        if (result.size() > KeychainItemFile::MaxFileSize) {
            close(fd);
            return errSecDecode;
        }
    }
    close(fd);
    content.swap(result);
    return errSecSuccess;
}

// Reads and decodes one item file; errSecDecode when it is damaged or holds another item
// than its name says.
KeychainStatus readItem(const std::string& name, KeychainItem& item) {
    std::string content;
    const KeychainStatus status = readFile(Keychain::folder() / name, content);
    if (status != errSecSuccess) {
        return status;
    }
    KeychainItem decoded;
    if (!KeychainItemFile::decode(content, decoded) ||
        KeychainItemFile::fileName(decoded) != name) {
        return errSecDecode;
    }
    item = std::move(decoded);
    return errSecSuccess;
}

KeychainStatus removeFile(const std::string& name) {
    if (name.empty()) {
        return errSecParam;
    }
    const fs::path folder = Keychain::folder();
    if (unlink((folder / name).c_str()) != 0) {
        return errno == ENOENT ? errSecItemNotFound : errSecIO;
    }
    syncFolder(folder);
    return errSecSuccess;
}

bool identityLess(const KeychainItem& a, const KeychainItem& b) {
    return std::tie(a.server, a.account, a.protocol, a.port) <
           std::tie(b.server, b.account, b.protocol, b.port);
}

// The readable internet-password items for which `matches` holds, in identity order.
template <typename Predicate>
KeychainStatus collectInternetPasswords(Predicate matches, std::vector<KeychainItem>& items) {
    DIR* directory = opendir(Keychain::folder().c_str());
    if (directory == nullptr) {
        return errno == ENOENT ? errSecItemNotFound : errSecIO;
    }
    std::vector<std::pair<KeychainItem, std::string>> candidates;
    while (const dirent* entry = readdir(directory)) {
        KeychainItem identity;
        if (KeychainItemFile::parseInternetPasswordFileName(entry->d_name, identity) &&
            matches(identity)) {
            candidates.emplace_back(std::move(identity), entry->d_name);
        }
    }
    closedir(directory);
    std::sort(candidates.begin(), candidates.end(),
              [](const auto& a, const auto& b) { return identityLess(a.first, b.first); });

    std::vector<KeychainItem> result;
    bool unreadable = false;
    for (const auto& candidate : candidates) {
        KeychainItem item;
        const KeychainStatus status = readItem(candidate.second, item);
        if (status == errSecSuccess) {
            result.push_back(std::move(item));
        } else if (status != errSecItemNotFound) {  // not deleted since the listing
            unreadable = true;
        }
    }
    if (result.empty()) {
        return unreadable ? errSecDecode : errSecItemNotFound;
    }
    items.swap(result);
    return errSecSuccess;
}

}  // namespace

fs::path Keychain::folder() {
    return SystemRoot::resolve("/Library/Keychains");
}

KeychainStatus Keychain::storeItem(const KeychainItem& item) {
    try {
        const std::string name = KeychainItemFile::fileName(item);
        const std::string content = KeychainItemFile::encode(item);
        if (name.empty() || content.size() > KeychainItemFile::MaxFileSize) {
            return errSecParam;
        }
        const fs::path directory = folder();
        const KeychainStatus status = ensureFolder(directory);
        if (status != errSecSuccess) {
            return status;
        }
        return replaceFile(directory, name, content);
    } catch (...) {
        return errSecIO;
    }
}

KeychainStatus Keychain::findGenericPassword(const std::string& label, KeychainItem& item) {
    try {
        const std::string name = KeychainItemFile::genericPasswordFileName(label);
        if (name.empty()) {
            return errSecParam;
        }
        return readItem(name, item);
    } catch (...) {
        return errSecIO;
    }
}

KeychainStatus Keychain::deleteGenericPassword(const std::string& label) {
    try {
        return removeFile(KeychainItemFile::genericPasswordFileName(label));
    } catch (...) {
        return errSecIO;
    }
}

KeychainStatus Keychain::findInternetPasswords(uint32_t protocol,
                                               std::vector<KeychainItem>& items) {
    try {
        return collectInternetPasswords(
            [protocol](const KeychainItem& identity) {
                return protocol == 0 || identity.protocol == protocol;
            },
            items);
    } catch (...) {
        return errSecIO;
    }
}

KeychainStatus Keychain::findInternetPassword(const std::string& server, const std::string& account,
                                              uint32_t protocol, uint16_t port,
                                              KeychainItem& item) {
    try {
        std::vector<KeychainItem> items;
        const KeychainStatus status = collectInternetPasswords(
            [&](const KeychainItem& identity) {
                return identity.server == server && identity.account == account &&
                       identity.protocol == protocol && (port == 0 || identity.port == port);
            },
            items);
        if (status != errSecSuccess) {
            return status;
        }
        item = std::move(items.front());
        return errSecSuccess;
    } catch (...) {
        return errSecIO;
    }
}

KeychainStatus Keychain::deleteInternetPassword(const std::string& server,
                                                const std::string& account, uint32_t protocol,
                                                uint16_t port) {
    try {
        return removeFile(
            KeychainItemFile::internetPasswordFileName(server, account, protocol, port));
    } catch (...) {
        return errSecIO;
    }
}

}  // namespace standin
