#include "common/safestore/SafeStoreMac.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/params/JsonFileParams.h"
#include "common/params/Params.h"
#include "common/util/Util.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "platform/tests/xattr/RunProgram.h"
#include "testsupport/TempDir.h"

using common::ILogger;
using common::ISafeStore;
using common::SafeStoreMac;
using testsupport::MemoryParams;

namespace {

const std::string kHostId = "0123456789abcdef0123456789abcdef";
const std::string kSalt = "AbCdEfGhIjKlMnOp";
// What EVP_BytesToKey (SHA-1, 5 rounds) gives for kHostId and kSalt folded to 8 bytes.
const std::string kKeyHex = "89f223ac34adfe4c1cdbbc0885bf6fb7dd3ff1a9a60ee2715c0cee62ecac8de0";
const std::string kIvHex = "e2bf41fbd8f39f538fb8af39e30c1633";

std::vector<unsigned char> bytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

class SafeStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<ISafeStore> open(const std::string& salt = kSalt,
                                     const std::string& hostId = kHostId) {
        return ISafeStore::create(_params, bytes(hostId), bytes(salt));
    }

    std::string encrypted() const { return _params.getValue("Encrypted", ""); }

    // Runs `openssl enc` over `input` with the known key and vector: Base64 text in and plain
    // bytes out when decrypting, the other way round when encrypting. Empty on failure.
    std::string openssl(bool decrypt, const std::string& input) {
        const auto in = _dir.write("openssl.in", input);
        const auto out = _dir / "openssl.out";
        std::vector<std::string> arguments = {"openssl", "enc"};
        if (decrypt) {
            arguments.push_back("-d");
        }
        for (const char* argument : {"-aes-256-cbc", "-a", "-A", "-K"}) {
            arguments.push_back(argument);
        }
        arguments.insert(arguments.end(),
                         {kKeyHex, "-iv", kIvHex, "-in", in.string(), "-out", out.string()});
        if (testsupport::runProgram(arguments) != 0) {
            return std::string();
        }
        std::string output = testsupport::TempDir::read(out);
        if (!decrypt && !output.empty() && output.back() == '\n') {
            output.pop_back();
        }
        return output;
    }

    testsupport::TempDir _dir;
    MemoryParams _params;
};

}  // namespace

TEST(SafeStoreKey, SaltFoldsIntoEightBytes) {
    EXPECT_EQ(SafeStoreMac::foldSalt(bytes(kSalt)),
              (std::vector<unsigned char>{8, 8, 8, 8, 8, 8, 8, 0x18}));
    EXPECT_EQ(SafeStoreMac::foldSalt({}), std::vector<unsigned char>(8, 0));
    EXPECT_EQ(SafeStoreMac::foldSalt({1, 2, 3}),
              (std::vector<unsigned char>{1, 2, 3, 0, 0, 0, 0, 0}));
}

TEST_F(SafeStoreTest, KnownAnswer) {
    auto store = open();
    ASSERT_TRUE(store->setValue("a", "1"));
    // AES-256-CBC of {"a":"1"} with the derived key and vector, as `openssl enc` computes it:
    // e280bacb53740d9aed840901d01c40ab.
    EXPECT_EQ(encrypted(), "4oC6y1N0DZrthAkB0BxAqw==");
}

TEST_F(SafeStoreTest, OpensslDecryptsTheStoredText) {
    auto store = open();
    ASSERT_TRUE(store->setValue("Username", "J\xc3\xbcrgen"));
    ASSERT_TRUE(store->setValue("Password", "p\"w\\d"));
    ASSERT_TRUE(store->setValue("CredentialsStored", "1"));
    EXPECT_EQ(openssl(true, encrypted()),
              "{\"CredentialsStored\":\"1\",\"Password\":\"p\\\"w\\\\d\","
              "\"Username\":\"J\xc3\xbcrgen\"}");
}

TEST_F(SafeStoreTest, ReadsWhatOpensslEncrypted) {
    const std::string stored = openssl(false, R"({"ProxyUsername":"u","ProxyPassword":"p w"})");
    ASSERT_FALSE(stored.empty());
    _params.setValue("Encrypted", stored);
    auto store = open();
    EXPECT_EQ(store->getKeys(), (std::set<std::string>{"ProxyPassword", "ProxyUsername"}));
    EXPECT_EQ(store->getValue("ProxyUsername", ""), "u");
    EXPECT_EQ(store->getValue("ProxyPassword", ""), "p w");
}

TEST_F(SafeStoreTest, SecondStoreWithTheSameKeyReadsTheValues) {
    auto store = open();
    EXPECT_TRUE(store->getKeys().empty());
    EXPECT_FALSE(store->hasValue("a"));
    EXPECT_EQ(store->getValue("a", "none"), "none");
    ASSERT_TRUE(store->setValue("a", "1"));
    EXPECT_FALSE(encrypted().empty());
    ASSERT_TRUE(store->setValue("Password", "secret"));
    EXPECT_EQ(encrypted().find("secret"), std::string::npos) << "no clear text in the stored value";

    auto second = open();
    EXPECT_TRUE(second->hasValue("a"));
    EXPECT_EQ(second->getValue("a", ""), "1");
    EXPECT_EQ(second->getValue("Password", ""), "secret");
    EXPECT_EQ(second->getValueAs<unsigned int>("a", 0), 1u);
    ASSERT_TRUE(second->setValueAs<bool>("b", true));
    EXPECT_EQ(store->getKeys(), (std::set<std::string>{"Password", "a", "b"}));
    EXPECT_EQ(store->getValue("b", ""), "1");
    EXPECT_FALSE(store->isReadOnly());
}

TEST_F(SafeStoreTest, AnotherSaltOrHostIdReadsNothingAndItsFirstWriteReplacesTheValue) {
    auto log = testsupport::LogCapture::install();
    ASSERT_TRUE(open()->setValue("a", "1"));
    const std::string original = encrypted();

    for (const auto& other :
         {std::make_pair(std::string("0000000000000000"), kHostId),
          std::make_pair(kSalt, std::string("ffffffffffffffffffffffffffffffff"))}) {
        _params.setValue("Encrypted", original);
        auto store = open(other.first, other.second);
        EXPECT_TRUE(store->getKeys().empty());
        EXPECT_FALSE(store->hasValue("a"));
        EXPECT_EQ(encrypted(), original) << "reading changes nothing";

        ASSERT_TRUE(store->setValue("b", "2"));
        EXPECT_NE(encrypted(), original);
        EXPECT_EQ(store->getKeys(), (std::set<std::string>{"b"}));
        // The first store cannot read the new value either.
        EXPECT_TRUE(open()->getKeys().empty());
    }
    EXPECT_GE(log->count(ILogger::Warning, "cannot be decrypted"), 2u);
}

TEST_F(SafeStoreTest, UnreadableContentReadsAsEmptyWithAWarning) {
    struct Case {
        const char* name;
        std::string stored;
        const char* warning;
    } cases[] = {
        {"not Base64", "%%% not base64 %%%", "not valid Base64"},
        {"Base64 of a short text", "QUJD", "cannot be decrypted"},
        {"Base64 of nothing", "====", "not valid Base64"},
        {"encrypted text that is no JSON", openssl(false, "hello"), "does not hold a map"},
        {"encrypted object with a number", openssl(false, R"({"a":1})"), "does not hold a map"},
        {"encrypted array", openssl(false, R"(["a","1"])"), "does not hold a map"},
        {"encrypted object and more", openssl(false, std::string("{\"a\":\"1\"}\0x", 11)),
         "does not hold a map"},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.stored.empty()) << c.name;
        auto log = testsupport::LogCapture::install();
        _params.setValue("Encrypted", c.stored);
        auto store = open();
        EXPECT_TRUE(store->getKeys().empty()) << c.name;
        EXPECT_FALSE(store->hasValue("a")) << c.name;
        EXPECT_EQ(store->getValue("a", "default"), "default") << c.name;
        EXPECT_EQ(log->count(ILogger::Warning, c.warning), 3u) << c.name;

        ASSERT_TRUE(store->setValue("a", "2")) << c.name;
        EXPECT_EQ(open()->getValue("a", ""), "2") << c.name;
    }
}

TEST_F(SafeStoreTest, DamagedLastBlockIsNotTakenForTheStoredMap) {
    // {"a":"123456789"} fills exactly one block, so the last block holds only padding: when it is
    // damaged, the blocks before it still decrypt to a complete map. That map was not stored as
    // it stands, and is not read.
    auto log = testsupport::LogCapture::install();
    auto store = open();
    ASSERT_TRUE(store->setValue("a", "123456789"));
    std::vector<unsigned char> cipher;
    ASSERT_TRUE(common::util::base64Decode(encrypted(), cipher));
    ASSERT_EQ(cipher.size(), 32u);
    cipher.back() ^= 0x01;
    _params.setValue("Encrypted", common::util::base64Encode(cipher.data(), cipher.size()));

    EXPECT_FALSE(store->hasValue("a"));
    EXPECT_TRUE(store->getKeys().empty());
    EXPECT_EQ(log->count(ILogger::Warning, "cannot be decrypted"), 2u);
}

TEST_F(SafeStoreTest, EmptyStoredValueReadsAsEmptyWithoutAWarning) {
    auto log = testsupport::LogCapture::install();
    _params.setValue("Encrypted", "");
    EXPECT_TRUE(open()->getKeys().empty());
    EXPECT_EQ(log->count(ILogger::Warning, "safe store"), 0u);
}

TEST_F(SafeStoreTest, RemoveAndClear) {
    auto store = open();
    ASSERT_TRUE(store->setValue("a", "1"));
    ASSERT_TRUE(store->setValue("b", "2"));
    const std::string before = encrypted();

    EXPECT_FALSE(store->removeValue("missing"));
    EXPECT_EQ(encrypted(), before) << "nothing written";

    EXPECT_TRUE(store->removeValue("a"));
    EXPECT_EQ(store->getKeys(), (std::set<std::string>{"b"}));

    store->clear();
    EXPECT_TRUE(store->getKeys().empty());
    EXPECT_EQ(openssl(true, encrypted()), "{}") << "an encrypted empty map, not an empty text";
}

TEST_F(SafeStoreTest, SameMapGivesTheSameText) {
    auto store = open();
    const std::map<std::string, std::string> map = {{"x", "1"}, {"y", "2"}};
    ASSERT_TRUE(store->saveStore(map));
    const std::string first = encrypted();
    ASSERT_TRUE(store->saveStore(map));
    EXPECT_EQ(encrypted(), first);
    ASSERT_TRUE(open()->saveStore(map));
    EXPECT_EQ(encrypted(), first);
    EXPECT_EQ(store->loadStore(), map);
}

TEST_F(SafeStoreTest, ValuesComeBackUnchanged) {
    const std::string values[] = {
        "",
        "quote \" backslash \\ slash /",
        "line\nfeed\ttab\x01",
        "J\xc3\xbcrgen \xe2\x82\xac \xf0\x9f\x98\x80",
        "not UTF-8 \xff\xfe",
        std::string(100000, 'v'),
    };
    auto store = open();
    for (std::size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i) {
        const std::string key = "key" + std::to_string(i);
        ASSERT_TRUE(store->setValue(key, values[i])) << i;
        EXPECT_TRUE(open()->hasValue(key)) << i;
        EXPECT_EQ(open()->getValue(key, "default"), values[i]) << i;
    }
}

TEST_F(SafeStoreTest, EmptyKeyMaterialAndSaltStillEncrypt) {
    auto store = open("", "");
    ASSERT_TRUE(store->setValue("a", "1"));
    EXPECT_NE(encrypted(), "4oC6y1N0DZrthAkB0BxAqw==");
    EXPECT_EQ(open("", "")->getValue("a", ""), "1");
    EXPECT_TRUE(open()->getKeys().empty());
}

TEST_F(SafeStoreTest, RefusedWriteIsReported) {
    auto store = open();
    ASSERT_TRUE(store->setValue("a", "1"));
    const std::string before = encrypted();
    _params.refuseWrites(true);
    EXPECT_FALSE(store->setValue("a", "2"));
    EXPECT_FALSE(store->removeValue("a"));
    EXPECT_FALSE(store->saveStore({}));
    EXPECT_EQ(encrypted(), before);
    EXPECT_EQ(store->getValue("a", ""), "1");
}

TEST(SafeStoreInParameterFile, KeptInTheFileAndReadAfterARestart) {
    testsupport::TempDir dir;
    const auto file = dir / "unattended.json";
    {
        common::Params params;
        params.addLayer(std::make_unique<common::JsonFileParams>(file), 1);
        auto store = ISafeStore::create(params, bytes(kHostId), bytes(kSalt));
        ASSERT_TRUE(store->setValue("a", "1"));
    }
    EXPECT_NE(testsupport::TempDir::read(file).find("\"Encrypted\": \"4oC6y1N0DZrthAkB0BxAqw==\""),
              std::string::npos)
        << testsupport::TempDir::read(file);

    common::Params params;
    params.addLayer(std::make_unique<common::JsonFileParams>(file), 1);
    EXPECT_EQ(ISafeStore::create(params, bytes(kHostId), bytes(kSalt))->getValue("a", ""), "1");
}
