#include "foundation/platform/TextSources.h"

#include <gtest/gtest.h>

#include "testsupport/TempDir.h"

using namespace platform;

TEST(TextSources, ReadAssignmentFollowsOsReleaseQuoting) {
    const std::string text =
        "# comment NAME=wrong\n"
        "NAME=\"Debian GNU/Linux\"\n"
        "ID=debian\n"
        "SINGLE='it is \"quoted\"'\n"
        "ESCAPED=\"a \\\"b\\\" \\\\ c\"\n"
        "EMPTY=\n"
        "  SPACED = value  \n"
        "TWICE=first\n"
        "TWICE=second\n"
        "NOEQUALS\n"
        "UNTERMINATED=\"open";
    struct Case {
        const char* key;
        std::optional<std::string> expected;
    } cases[] = {
        {"NAME", std::string("Debian GNU/Linux")},
        {"ID", std::string("debian")},
        {"SINGLE", std::string("it is \"quoted\"")},
        {"ESCAPED", std::string("a \"b\" \\ c")},
        {"EMPTY", std::string("")},
        {"SPACED", std::string("value")},
        {"TWICE", std::string("second")},
        {"NOEQUALS", std::nullopt},
        {"MISSING", std::nullopt},
        {"UNTERMINATED", std::string("open")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadAssignment(text, c.key), c.expected) << c.key;
    }
}

TEST(TextSources, ReadColonFieldTakesTheFirstMatchingKeyOnly) {
    const std::string text =
        "processor\t: 0\n"
        "model name\t: Intel(R) Xeon(R) CPU @ 2.60GHz\n"
        "model\t\t: 85\n"
        "flags\t\t: a: b\n"
        "\n"
        "processor\t: 1\n"
        "model name\t: Second\n";
    EXPECT_EQ(ReadColonField(text, "model name"), "Intel(R) Xeon(R) CPU @ 2.60GHz");
    EXPECT_EQ(ReadColonField(text, "model"), "85");
    EXPECT_EQ(ReadColonField(text, "processor"), "0");
    EXPECT_EQ(ReadColonField(text, "flags"), "a: b");
    EXPECT_EQ(ReadColonField(text, "cpu MHz"), std::nullopt);
    EXPECT_EQ(ReadColonField("", "model"), std::nullopt);
}

TEST(TextSources, ReadTextFileAnswersNothingForMissingOrUnreadableFiles) {
    testsupport::TempDir dir;
    const auto file = dir.write("a/b.txt", std::string("line\n\0tail", 10));
    EXPECT_EQ(ReadTextFile(file), std::string("line\n\0tail", 10));
    EXPECT_EQ(ReadTextFile(file, 4), "line");
    EXPECT_EQ(ReadTextFile(dir / "missing"), std::nullopt);
    EXPECT_EQ(ReadTextFile(dir / "a").value_or(""), "");  // a folder reads as nothing
}

TEST(TextSources, TrimTextRemovesWhiteSpaceAndZeroBytes) {
    EXPECT_EQ(TrimText(std::string("\n MacBookPro15,1\n\0", 18)), "MacBookPro15,1");
    EXPECT_EQ(TrimText(std::string(" \0\n", 3)), "");
    EXPECT_EQ(TrimText("a b"), "a b");
}
