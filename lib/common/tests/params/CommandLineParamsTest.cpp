#include "common/params/CommandLineParams.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>

using common::CommandLineParams;

namespace {

struct ParseCase {
    const char* name;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> expected;
};

const ParseCase kParseCases[] = {
    {"pairs and flags",
     {"/bin/prog", "-Service", "-LogLevel", "3", "-WorkFolder", "/Library/x"},
     {{"service", "1"}, {"loglevel", "3"}, {"workfolder", "/Library/x"}}},
    {"a negative number is a second flag",
     {"/bin/prog", "-Delta", "-5"},
     {{"delta", "1"}, {"5", "1"}}},
    {"a single dash is a value", {"/bin/prog", "-Name", "-"}, {{"name", "-"}}},
    {"an empty value stays empty",
     {"/bin/prog", "-Empty", "", "-Next", "x"},
     {{"empty", ""}, {"next", "x"}}},
    {"stray words are skipped",
     {"/bin/prog", "stray", "-A", "x", "y", "-B"},
     {{"a", "x"}, {"b", "1"}}},
    {"the last repeat wins", {"/bin/prog", "-Key", "one", "-KEY", "two"}, {{"key", "two"}}},
    {"values keep their case",
     {"/bin/prog", "-Path", "/Users/Some One"},
     {{"path", "/Users/Some One"}}},
    {"a lone dash is no key", {"/bin/prog", "-", "x"}, {}},
    {"the program path is never a key", {"-NotAKey", "value"}, {}},
    {"no arguments", {}, {}},
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandLineParse : public testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, GivesTheExpectedKeysAndValues) {
    const ParseCase& c = GetParam();
    CommandLineParams params(c.arguments);
    std::set<std::string> expectedKeys;
    for (const auto& entry : c.expected) {
        expectedKeys.insert(entry.first);
        EXPECT_TRUE(params.hasValue(entry.first)) << entry.first;
        EXPECT_EQ(params.getValue(entry.first, "<default>"), entry.second) << entry.first;
    }
    EXPECT_EQ(params.getKeys(), expectedKeys);
}

INSTANTIATE_TEST_SUITE_P(CommandLineParams, CommandLineParse, testing::ValuesIn(kParseCases),
                         [](const testing::TestParamInfo<ParseCase>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.name)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

}  // namespace

TEST(CommandLineParams, KeysAreCaseInsensitiveAndTheLayerIsReadOnly) {
    CommandLineParams params({"/bin/prog", "-LOGLEVEL", "5"});
    EXPECT_EQ(params.getValue("LogLevel", "2"), "5");
    EXPECT_TRUE(params.hasValue("loglevel"));
    EXPECT_EQ(params.getValue("Missing", "2"), "2");
    EXPECT_FALSE(params.hasValue("Missing"));

    EXPECT_TRUE(params.isReadOnly());
    EXPECT_FALSE(params.setValue("LogLevel", "1"));
    EXPECT_FALSE(params.setValue("Other", "1"));
    EXPECT_EQ(params.getValue("LogLevel", ""), "5");
    EXPECT_FALSE(params.hasValue("Other"));

    EXPECT_TRUE(params.removeValue("Missing"));
    EXPECT_TRUE(params.removeValue("LogLevel"));
    EXPECT_FALSE(params.hasValue("loglevel"));
}

TEST(CommandLineParams, BytesOutsideAsciiInNamesAreKeptAsTheyAre) {
    // Lower-casing must not touch (or trip over) bytes of UTF-8 sequences.
    CommandLineParams params({"/bin/prog", "-Gr\xC3\x9C\xC3\x9F", "x"});
    EXPECT_EQ(params.getValue("gr\xC3\x9C\xC3\x9F", ""), "x");
}
