#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/util/Util.h"

namespace util = common::util;

namespace {
const char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
}

TEST(NanoIdTest, LengthAndAlphabet) {
    for (unsigned long length : {0ul, 1ul, 10ul, 16ul, 1000ul}) {
        const std::string id = util::generateNanoId(length, kAlphabet);
        ASSERT_EQ(id.size(), length);
        EXPECT_EQ(id.find_first_not_of(kAlphabet), std::string::npos) << id;
    }
    EXPECT_NE(util::generateNanoId(10, kAlphabet), util::generateNanoId(10, kAlphabet));
    EXPECT_EQ(util::generateNanoId(5, "z"), "zzzzz");
    EXPECT_EQ(util::generateNanoId(10, ""), "");
    EXPECT_EQ(util::generateNanoId(10, nullptr), "");

    // An alphabet longer than the 256 values of one random byte (its characters repeat).
    std::string longAlphabet;
    for (int i = 0; i < 300; ++i) {
        longAlphabet.push_back(kAlphabet[i % 62]);
    }
    const std::string id = util::generateNanoId(50, longAlphabet.c_str());
    EXPECT_EQ(id.size(), 50u);
    EXPECT_EQ(id.find_first_not_of(kAlphabet), std::string::npos) << id;
}

// With an alphabet of 200 characters, taking a random byte modulo 200 would make the first
// 56 characters twice as likely as the others.
TEST(NanoIdTest, DrawsWithoutModuloBias) {
    std::string alphabet;
    for (int i = 1; i <= 200; ++i) {
        alphabet.push_back(static_cast<char>(i));
    }
    const std::string id = util::generateNanoId(400000, alphabet.c_str());
    std::vector<double> counts(201, 0);
    for (char c : id) {
        counts[static_cast<unsigned char>(c)] += 1;
    }
    double low = 0;
    double high = 0;
    for (int i = 1; i <= 56; ++i) {
        low += counts[i];
    }
    for (int i = 57; i <= 200; ++i) {
        high += counts[i];
    }
    const double ratio = (low / 56) / (high / 144);  // 1 when uniform, 2 with modulo bias
    EXPECT_GT(ratio, 0.95);
    EXPECT_LT(ratio, 1.05);
}

TEST(ConversionTest, WideAndUtf8) {
    EXPECT_EQ(util::toWideString("A\xC3(B"), L"A(B");
    EXPECT_EQ(util::toWideString("gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80"), L"grüß \U0001F600");
    EXPECT_EQ(util::toString(L"gr\u00FC\u00DF \U0001F600"), "gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80");
    std::wstring withInvalid = L"a";
    withInvalid.push_back(static_cast<wchar_t>(0xD800));
    withInvalid.push_back(static_cast<wchar_t>(0x110000));
    withInvalid.push_back(L'b');
    EXPECT_EQ(util::toString(withInvalid), "ab");
}

TEST(CommandLineTest, Arguments) {
    char a0[] = "/bin/prog";
    char a1[] = "-Name";
    char a2[] = "";
    char* argv[] = {a0, a1, a2, nullptr};
    EXPECT_EQ(util::commandLineArguments(3, argv),
              (std::vector<std::string>{"/bin/prog", "-Name", ""}));
    EXPECT_TRUE(util::commandLineArguments(0, argv).empty());
    EXPECT_TRUE(util::commandLineArguments(-1, argv).empty());
    EXPECT_TRUE(util::commandLineArguments(2, nullptr).empty());
}

TEST(Base64Test, EncodeAndDecode) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"", ""},        {"A", "QQ=="},        {"AB", "QUI="},
        {"ABC", "QUJD"}, {"ABCD", "QUJDRA=="}, {std::string("\x00\xFF\xFE", 3), "AP/+"},
    };
    for (const auto& c : cases) {
        const auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(util::base64Encode(data, c.bytes.size()), c.text);
        std::vector<unsigned char> decoded;
        EXPECT_TRUE(util::base64Decode(c.text, decoded)) << c.text;
        EXPECT_EQ(std::string(decoded.begin(), decoded.end()), c.bytes);
        EXPECT_EQ(util::base64Decode(c.text), decoded);
    }
    // Missing padding is accepted; a text of padding only is empty.
    EXPECT_EQ(util::base64Decode("QQ"), (std::vector<unsigned char>{0x41}));
    EXPECT_EQ(util::base64Decode("QUI"), (std::vector<unsigned char>{0x41, 0x42}));
    std::vector<unsigned char> bytes{1};
    EXPECT_TRUE(util::base64Decode("==", bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST(Base64Test, UndecodableTextIsReported) {
    for (const std::string text :
         {"Q", "QUJDR", "QQ=A", "=QQQ", "Q===", "QQ!=", "QU I", "QQ\n=", "QUJD\x80"}) {
        std::vector<unsigned char> bytes{1, 2};
        EXPECT_FALSE(util::base64Decode(text, bytes)) << text;
        EXPECT_TRUE(bytes.empty());
        EXPECT_TRUE(util::base64Decode(text).empty());
    }
}

TEST(Base64Test, WideTextAsUtf32LittleEndian) {
    EXPECT_EQ(util::toBase64(L"A"), "QQAAAA==");
    EXPECT_EQ(util::fromBase64("QQAAAA=="), L"A");
    const std::wstring text = L"p\u00E4ss \U0001F600";
    EXPECT_EQ(util::fromBase64(util::toBase64(text)), text);
    // Five bytes give one character; the rest is dropped.
    const unsigned char five[] = {0x42, 0, 0, 0, 0x43};
    EXPECT_EQ(util::fromBase64(util::base64Encode(five, 5)), L"B");
    std::wstring out = L"old";
    EXPECT_FALSE(util::fromBase64("QQ!A", out));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(util::fromBase64("").empty());
}

TEST(HexTest, LowerCaseDigits) {
    EXPECT_EQ(util::toHex(std::vector<unsigned char>{0x0A, 0xFF}), "0aff");
    EXPECT_EQ(util::toHex(std::vector<unsigned char>{}), "");
    EXPECT_EQ(util::toHex(static_cast<unsigned char>(0xAB)), "b");
    EXPECT_EQ(util::toHex(static_cast<unsigned char>(0x05)), "5");
}
