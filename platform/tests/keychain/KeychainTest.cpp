#include "platform/keychain/Keychain.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <boost/filesystem.hpp>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/keychain/KeychainItemFile.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using namespace standin;
namespace fs = boost::filesystem;

namespace {

KeychainItem genericItem(const std::string& label, const std::string& account,
                         const std::string& secret) {
    KeychainItem item;
    item.label = label;
    item.account = account;
    item.secret = secret;
    return item;
}

KeychainItem internetItem(const std::string& server, const std::string& account, uint32_t protocol,
                          uint16_t port, const std::string& secret) {
    KeychainItem item;
    item.itemClass = KeychainItemClass::InternetPassword;
    item.label = server;
    item.server = server;
    item.account = account;
    item.protocol = protocol;
    item.port = port;
    item.secret = secret;
    return item;
}

mode_t modeOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

std::vector<std::string> folderEntries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Keychain::folder())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeRaw(const fs::path& path, const std::string& content) {
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out << content;
}

class KeychainTest : public ::testing::Test {
protected:
    testsupport::TempDir root;
    testsupport::ScopedEnv env{"ORV_SYSTEM_ROOT", root.path().string()};
    const KeychainItem sentinel = genericItem("untouched", "untouched", "untouched");
};

TEST_F(KeychainTest, GenericPasswordsRoundTripExactlyWithPrivateModes) {
    ::umask(0);  // the modes must not depend on the caller's umask
    const std::vector<KeychainItem> items = {
        genericItem("com.Orvanta.Corvalis.ProxyCredentials", "user", "secret"),
        genericItem("Ümlaut-密码", "Jürgen 用户", "pässwörd 密码 \xF0\x9F\x94\x91"),
        genericItem("empty", "", ""),
        genericItem("", "no label", "x"),
        genericItem("binary", std::string("a\0b\nc", 5), std::string("\0\xff\n checksum 0\n", 16)),
    };
    for (const auto& item : items) {
        ASSERT_EQ(Keychain::storeItem(item), errSecSuccess) << item.label;
    }
    for (const auto& item : items) {
        KeychainItem loaded = sentinel;
        ASSERT_EQ(Keychain::findGenericPassword(item.label, loaded), errSecSuccess) << item.label;
        EXPECT_EQ(loaded, item) << item.label;
    }

    EXPECT_EQ(Keychain::folder(), root.path() / "Library/Keychains");
    EXPECT_EQ(modeOf(Keychain::folder()), 0700u);
    const auto names = folderEntries();
    EXPECT_EQ(names.size(), items.size());
    for (const auto& name : names) {
        EXPECT_EQ(modeOf(Keychain::folder() / name), 0600u) << name;
    }
    // The file name is the label in hex.
    EXPECT_TRUE(fs::exists(Keychain::folder() / "gp-656d707479"));
    EXPECT_TRUE(fs::exists(Keychain::folder() / "gp-"));
}

TEST_F(KeychainTest, StoreReplacesTheItemOfTheSameLabelAndLeavesNoTemporaryFiles) {
    ASSERT_EQ(Keychain::storeItem(genericItem("label", "first", "one")), errSecSuccess);
    ASSERT_EQ(Keychain::storeItem(genericItem("label", "second", "two")), errSecSuccess);

    KeychainItem loaded;
    ASSERT_EQ(Keychain::findGenericPassword("label", loaded), errSecSuccess);
    EXPECT_EQ(loaded, genericItem("label", "second", "two"));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"gp-6c6162656c"});
}

TEST_F(KeychainTest, MissingAndDeletedItemsAreNotFoundAndLeaveOutputsUntouched) {
    KeychainItem loaded = sentinel;
    // No folder at all yet.
    EXPECT_EQ(Keychain::findGenericPassword("label", loaded), errSecItemNotFound);
    EXPECT_EQ(Keychain::deleteGenericPassword("label"), errSecItemNotFound);
    std::vector<KeychainItem> items{sentinel};
    EXPECT_EQ(Keychain::findInternetPasswords(0, items), errSecItemNotFound);

    ASSERT_EQ(Keychain::storeItem(genericItem("label", "user", "pw")), errSecSuccess);
    ASSERT_EQ(Keychain::storeItem(genericItem("other", "user", "pw")), errSecSuccess);
    EXPECT_EQ(Keychain::deleteGenericPassword("label"), errSecSuccess);
    EXPECT_EQ(Keychain::deleteGenericPassword("label"), errSecItemNotFound);
    EXPECT_EQ(Keychain::findGenericPassword("label", loaded), errSecItemNotFound);
    EXPECT_EQ(loaded, sentinel);
    EXPECT_EQ(Keychain::findGenericPassword("other", loaded), errSecSuccess);
    EXPECT_EQ(items, std::vector<KeychainItem>{sentinel});
}

TEST_F(KeychainTest, EveryTruncationOfAnItemFileIsADecodeError) {
    const KeychainItem item = genericItem("label", "Jürgen", "密码");
    ASSERT_EQ(Keychain::storeItem(item), errSecSuccess);
    const fs::path file = Keychain::folder() / KeychainItemFile::genericPasswordFileName("label");
    const std::string content = testsupport::TempDir::read(file);
    ASSERT_FALSE(content.empty());

    for (std::size_t length = 0; length < content.size(); ++length) {
        writeRaw(file, content.substr(0, length));
        KeychainItem loaded = sentinel;
        EXPECT_EQ(Keychain::findGenericPassword("label", loaded), errSecDecode) << length;
        EXPECT_EQ(loaded, sentinel) << length;
    }
    writeRaw(file, content);
    KeychainItem loaded;
    EXPECT_EQ(Keychain::findGenericPassword("label", loaded), errSecSuccess);
    EXPECT_EQ(loaded, item);
}

TEST_F(KeychainTest, DamagedOrMisplacedItemFilesAreClearFailures) {
    const KeychainItem item = genericItem("label", "user", "password");
    ASSERT_EQ(Keychain::storeItem(item), errSecSuccess);
    const fs::path file = Keychain::folder() / KeychainItemFile::genericPasswordFileName("label");
    const std::string content = testsupport::TempDir::read(file);

    std::string flipped = content;
    flipped[flipped.find("secret ") + 8] ^= 0x01;  // still a hex digit
    std::string appended = content + "x";
    const std::string otherLabel = KeychainItemFile::encode(genericItem("other", "user", "pw"));

    struct Case {
        const char* name;
        std::function<void()> damage;
        KeychainStatus expected;
    };
    const std::vector<Case> cases = {
        {"flipped secret digit", [&] { writeRaw(file, flipped); }, errSecDecode},
        {"trailing byte", [&] { writeRaw(file, appended); }, errSecDecode},
        {"garbage", [&] { writeRaw(file, "\x01\x02garbage\n"); }, errSecDecode},
        {"another item's content", [&] { writeRaw(file, otherLabel); }, errSecDecode},
        {"oversized", [&] { writeRaw(file, std::string(KeychainItemFile::MaxFileSize + 10, 'a')); },
         errSecDecode},
        {"symbolic link",
         [&] {
             fs::remove(file);
             const fs::path target = root.write("elsewhere", content);
             fs::create_symlink(target, file);
         },
         errSecIO},
        {"folder in its place",
         [&] {
             fs::remove(file);
             fs::create_directory(file);
         },
         errSecIO},
    };
    for (const auto& testCase : cases) {
        fs::remove_all(file);
        testCase.damage();
        KeychainItem loaded = sentinel;
        EXPECT_EQ(Keychain::findGenericPassword("label", loaded), testCase.expected)
            << testCase.name;
        EXPECT_EQ(loaded, sentinel) << testCase.name;
    }

    // A damaged item is replaced by the next store.
    fs::remove_all(file);
    writeRaw(file, "garbage");
    ASSERT_EQ(Keychain::storeItem(item), errSecSuccess);
    KeychainItem loaded;
    EXPECT_EQ(Keychain::findGenericPassword("label", loaded), errSecSuccess);
    EXPECT_EQ(loaded, item);
}

TEST_F(KeychainTest, FailedStoresReportAnErrorAndLeaveNothingBehind) {
    // The item's file name is taken by a folder: the rename fails.
    ASSERT_EQ(Keychain::storeItem(genericItem("seed", "a", "b")), errSecSuccess);
    fs::create_directory(Keychain::folder() / KeychainItemFile::genericPasswordFileName("label"));
    EXPECT_EQ(Keychain::storeItem(genericItem("label", "user", "pw")), errSecIO);
    EXPECT_EQ(folderEntries(),
              (std::vector<std::string>{"gp-6c6162656c", "gp-73656564"}));  // no temporary left

    // A label too long for a file name.
    EXPECT_EQ(Keychain::storeItem(genericItem(std::string(200, 'x'), "user", "pw")), errSecParam);
    KeychainItem loaded = sentinel;
    EXPECT_EQ(Keychain::findGenericPassword(std::string(200, 'x'), loaded), errSecParam);

    // The keychain folder is a file.
    fs::remove_all(Keychain::folder());
    root.write("Library/Keychains", "not a folder");
    EXPECT_EQ(Keychain::storeItem(genericItem("label", "user", "pw")), errSecIO);
    EXPECT_EQ(Keychain::findGenericPassword("label", loaded), errSecIO);
    EXPECT_EQ(loaded, sentinel);
}

TEST_F(KeychainTest, InternetPasswordsAreFoundByProtocolServerAccountAndPort) {
    const auto proxyA = internetItem("proxy", "alice", kSecProtocolTypeHTTPSProxy, 3128, "pa");
    const auto proxyB = internetItem("proxy", "bob", kSecProtocolTypeHTTPSProxy, 0, "pb");
    const auto proxyB8080 = internetItem("proxy", "bob", kSecProtocolTypeHTTPSProxy, 8080, "pb2");
    const auto other = internetItem("proxy", "carol", 0x68747470u /* http */, 80, "pc");
    const auto generic = genericItem("proxy", "dave", "pd");
    for (const auto& item : {proxyB8080, other, proxyA, proxyB, generic}) {
        ASSERT_EQ(Keychain::storeItem(item), errSecSuccess);
    }

    std::vector<KeychainItem> items;
    ASSERT_EQ(Keychain::findInternetPasswords(kSecProtocolTypeHTTPSProxy, items), errSecSuccess);
    EXPECT_EQ(items, (std::vector<KeychainItem>{proxyA, proxyB, proxyB8080}));
    ASSERT_EQ(Keychain::findInternetPasswords(0, items), errSecSuccess);
    EXPECT_EQ(items.size(), 4u);

    KeychainItem found;
    EXPECT_EQ(Keychain::findInternetPassword("proxy", "bob", kSecProtocolTypeHTTPSProxy, 0, found),
              errSecSuccess);
    EXPECT_EQ(found, proxyB);
    EXPECT_EQ(
        Keychain::findInternetPassword("proxy", "bob", kSecProtocolTypeHTTPSProxy, 8080, found),
        errSecSuccess);
    EXPECT_EQ(found, proxyB8080);
    KeychainItem untouched = sentinel;
    EXPECT_EQ(Keychain::findInternetPassword("proxy", "bob", 0x68747470u, 0, untouched),
              errSecItemNotFound);
    EXPECT_EQ(
        Keychain::findInternetPassword("proxy2", "alice", kSecProtocolTypeHTTPSProxy, 0, untouched),
        errSecItemNotFound);
    EXPECT_EQ(untouched, sentinel);

    // A damaged item is left out of the results; alone it is a decode error.
    writeRaw(Keychain::folder() / KeychainItemFile::fileName(proxyB), "damaged");
    ASSERT_EQ(Keychain::findInternetPasswords(kSecProtocolTypeHTTPSProxy, items), errSecSuccess);
    EXPECT_EQ(items, (std::vector<KeychainItem>{proxyA, proxyB8080}));
    EXPECT_EQ(Keychain::deleteInternetPassword("proxy", "bob", kSecProtocolTypeHTTPSProxy, 8080),
              errSecSuccess);
    EXPECT_EQ(
        Keychain::findInternetPassword("proxy", "bob", kSecProtocolTypeHTTPSProxy, 0, untouched),
        errSecDecode);
    EXPECT_EQ(untouched, sentinel);
}

TEST_F(KeychainTest, ReadersSeeWholeItemsWhileTheItemIsReplaced) {
    const KeychainItem first = genericItem("label", "first-user", std::string(3000, 'a'));
    const KeychainItem second = genericItem("label", "second-user", std::string(5000, 'b'));
    ASSERT_EQ(Keychain::storeItem(first), errSecSuccess);

    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::thread writer([&] {
        for (int i = 0; i < 300; ++i) {
            if (Keychain::storeItem(i % 2 == 0 ? second : first) != errSecSuccess) {
                ++failures;
            }
        }
        done = true;
    });
    int reads = 0;
    while (!done || reads < 300) {
        KeychainItem loaded;
        const KeychainStatus status = Keychain::findGenericPassword("label", loaded);
        if (status != errSecSuccess || (loaded != first && loaded != second)) {
            ++failures;
        }
        ++reads;
    }
    writer.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(folderEntries().size(), 1u);
}

}  // namespace
