#include "common/credentialstorage/CredentialStorage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <boost/filesystem.hpp>
#include <fstream>

#include "platform/keychain/Keychain.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using common::credentialstorage::CredentialStorage;
namespace fs = boost::filesystem;

namespace {

const std::wstring ProxyLabel = L"com.Orvanta.Corvalis.ProxyCredentials";

class CredentialStorageTest : public ::testing::Test {
protected:
    testsupport::TempDir root;
    testsupport::ScopedEnv env{"ORV_SYSTEM_ROOT", root.path().string()};
    CredentialStorage storage;

    // Asserts that loading fails and leaves the outputs as they were.
    void expectNoCredentials(const std::wstring& label) {
        std::wstring account = L"keep-account";
        std::wstring password = L"keep-password";
        EXPECT_FALSE(storage.loadCredentials(label, account, password));
        EXPECT_EQ(account, L"keep-account");
        EXPECT_EQ(password, L"keep-password");
    }
    void expectCredentials(const std::wstring& label, const std::wstring& expectedAccount,
                           const std::wstring& expectedPassword) {
        std::wstring account = L"old";
        std::wstring password = L"old";
        ASSERT_TRUE(storage.loadCredentials(label, account, password));
        EXPECT_EQ(account, expectedAccount);
        EXPECT_EQ(password, expectedPassword);
    }
};

TEST_F(CredentialStorageTest, PairsRoundTripExactlyIncludingCharactersOutsideAscii) {
    struct Case {
        std::wstring label, account, password;
    };
    const std::vector<Case> cases = {
        {ProxyLabel, L"proxyuser", L"s3cret"},
        {L"umlauts", L"J\u00fcrgen \u00dc", L"p\u00e4ssw\u00f6rd"},
        {L"\u5bc6\u7801-label", L"\u7528\u6237", L"\u5bc6\u7801"},
        {L"emoji", L"user\U0001F600", L"\U0001F511 key \U0001F510"},
        {L"empty", L"", L""},
        {L"spaces and newlines", L" a b ", L"line1\nline2\r\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(storage.saveCredentials(c.label, c.account, c.password));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.label.begin(), c.label.end()));
        expectCredentials(c.label, c.account, c.password);
    }

    // The pair is a generic-password item labelled with the UTF-8 label.
    standin::KeychainItem item;
    ASSERT_EQ(standin::Keychain::findGenericPassword("\xE5\xAF\x86\xE7\xA0\x81-label", item),
              standin::errSecSuccess);
    EXPECT_EQ(item.account, "\xE7\x94\xA8\xE6\x88\xB7");
    EXPECT_EQ(item.secret, "\xE5\xAF\x86\xE7\xA0\x81");
}

TEST_F(CredentialStorageTest, SavingTwiceUnderOneLabelKeepsOneItemWithTheSecondPair) {
    ASSERT_TRUE(storage.saveCredentials(ProxyLabel, L"first", L"one"));
    ASSERT_TRUE(storage.saveCredentials(ProxyLabel, L"second", L"two"));
    expectCredentials(ProxyLabel, L"second", L"two");
    EXPECT_EQ(std::distance(fs::directory_iterator(standin::Keychain::folder()),
                            fs::directory_iterator()),
              1);
}

TEST_F(CredentialStorageTest, MissingOrUnreadableItemsLeaveTheOutputsUnchanged) {
    expectNoCredentials(ProxyLabel);

    ASSERT_TRUE(storage.saveCredentials(ProxyLabel, L"user", L"password"));
    ASSERT_TRUE(storage.saveCredentials(L"other", L"user", L"password"));
    expectNoCredentials(L"com.orvanta.corvalis.proxycredentials");  // labels are exact

    // A damaged item file does not give garbage credentials.
    for (const auto& entry : fs::directory_iterator(standin::Keychain::folder())) {
        std::string content = testsupport::TempDir::read(entry.path());
        content.resize(content.size() / 2);
        std::ofstream(entry.path().string(), std::ios::trunc) << content;
    }
    expectNoCredentials(ProxyLabel);
    // ... and is replaced by the next save.
    ASSERT_TRUE(storage.saveCredentials(ProxyLabel, L"new", L"pair"));
    expectCredentials(ProxyLabel, L"new", L"pair");
}

TEST_F(CredentialStorageTest, AFailedSaveReportsFalseAndKeepsThePreviousPair) {
    ASSERT_TRUE(storage.saveCredentials(ProxyLabel, L"user", L"old password"));

    // Files may not grow beyond 4 KiB: writing the new item fails part way.
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool saved = storage.saveCredentials(ProxyLabel, L"user2", std::wstring(10000, L'x'));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);

    EXPECT_FALSE(saved);
    expectCredentials(ProxyLabel, L"user", L"old password");
    EXPECT_EQ(std::distance(fs::directory_iterator(standin::Keychain::folder()),
                            fs::directory_iterator()),
              1);  // no temporary file left behind

    // The keychain folder cannot be made: false, nothing stored.
    fs::remove_all(standin::Keychain::folder());
    root.write("Library/Keychains", "a file, not a folder");
    EXPECT_FALSE(storage.saveCredentials(ProxyLabel, L"user", L"password"));
    expectNoCredentials(ProxyLabel);
}

}  // namespace
