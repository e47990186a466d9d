#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/conversion/Base64.h"
#include "foundation/conversion/HexString.h"
#include "foundation/conversion/LexicalCast.h"

namespace {

using Bytes = core::NonInitializingBuffer<unsigned char>;

TEST(Base64EncodeTest, Rfc4648VectorsThroughEveryOverload) {
    const struct {
        std::string input;
        std::string expected;
    } cases[] = {{"", ""},
                 {"f", "Zg=="},
                 {"fo", "Zm8="},
                 {"foo", "Zm9v"},
                 {"foob", "Zm9vYg=="},
                 {"fooba", "Zm9vYmE="},
                 {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.input.data());
        EXPECT_EQ(conversion::Base64Encode(c.input), c.expected);
        EXPECT_EQ(conversion::Base64Encode(bytes, c.input.size()), c.expected);
        EXPECT_EQ(conversion::Base64Encode(Bytes(bytes, c.input.size())), c.expected);
    }
    EXPECT_EQ(conversion::Base64Encode(nullptr, 0), "");
}

TEST(Base64EncodeTest, DigestSizedInputsGiveDocumentedLengths) {
    EXPECT_EQ(conversion::Base64Encode(std::string(16, '\xff')).size(), 24u);
    EXPECT_EQ(conversion::Base64Encode(std::string(20, '\x00')).size(), 28u);
}

// Every byte value at every position of a group, against Python's encoder.
TEST(Base64EncodeTest, BinaryDataMatchesPython) {
    std::string data;
    for (int i = 0; i < 256; ++i) {
        data.push_back(static_cast<char>(255 - i));
        data.push_back(static_cast<char>(i));
    }
    std::string script =
        "import base64,sys\n"
        "d=bytes(255-i if k==0 else i for i in range(256) for k in (0,1))\n"
        "for n in range(0,len(d)+1,37): print(base64.b64encode(d[:n]).decode())\n"
        "print(base64.b64encode(d[:511]).decode())\n";
    std::string command = "/usr/bin/python3 -c '" + script + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    std::string line;
    for (int ch; (ch = fgetc(pipe)) != EOF;) {
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(ch));
        }
    }
    ASSERT_EQ(WEXITSTATUS(pclose(pipe)), 0);
    std::vector<std::string> ours;
    for (std::size_t n = 0; n <= data.size(); n += 37) {
        ours.push_back(conversion::Base64Encode(data.substr(0, n)));
    }
    ours.push_back(conversion::Base64Encode(data.substr(0, 511)));
    EXPECT_EQ(ours, lines);
}

TEST(StringToHexTest, CaseAndOverloads) {
    const unsigned char bytes[] = {0x00, 0xAB, 0x0F, 0xF0, 0x7E};
    EXPECT_EQ(conversion::StringToHex(bytes, 2, false), "00ab");
    EXPECT_EQ(conversion::StringToHex(bytes, 2, true), "00AB");
    EXPECT_EQ(conversion::StringToHex(Bytes(bytes, 5), false), "00ab0ff07e");
    EXPECT_EQ(conversion::StringToHex(std::string("\x01\xff", 2), true), "01FF");
    EXPECT_EQ(conversion::StringToHex(std::string(), false), "");
    EXPECT_EQ(conversion::StringToHex(nullptr, 0, false), "");
}

TEST(InPlaceLexicalCastTest, WritesDecimalTextOfPorts) {
    const struct {
        std::uint16_t value;
        const char* text;
    } cases[] = {{0, "0"}, {80, "80"}, {443, "443"}, {65535, "65535"}};
    for (const auto& c : cases) {
        std::string text = "stale";
        EXPECT_TRUE(conversion::in_place_lexical_cast(text, c.value));
        EXPECT_EQ(text, c.text);
    }
}

}  // namespace
