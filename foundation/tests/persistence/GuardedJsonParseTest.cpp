// The one guarded parse that every reader of outside JSON text uses.

#include <gtest/gtest.h>

#include <string>

#include "foundation/persistence/GuardedJsonParse.h"

namespace {

std::string nested(std::size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

}  // namespace

TEST(GuardedJsonParse, RefusesWhatWouldOverflowTheParserOrCannotBeWrittenBack) {
    struct Case {
        std::string text;
        persistence::JsonParseLimits limits;
        const char* error;  // empty when the text parses
    };
    const persistence::JsonParseLimits unbounded;
    const persistence::JsonParseLimits flat{64, 3};
    const Case cases[] = {
        {R"({"a":[1,{"b":null}],"c":1e308})", unbounded, ""},
        {"{\"a\":0.00000000001e-2147483639}", unbounded, "exponent out of range"},
        {"{\"i\":804407161E300}", unbounded, "number is out of range"},
        {"[-804407161E300]", unbounded, "number is out of range"},
        {"{\"i\":1e400}", unbounded, "Number too big"},
        {std::string(100000, '['), unbounded, "Invalid value"},
        {nested(100000), unbounded, ""},
        {nested(3), flat, ""},
        {nested(4), flat, "nest deeper than 3 levels"},
        {"{\"a\":{\"b\":{\"c\":1}}}", flat, ""},
        {"{\"a\":{\"b\":{\"c\":{}}}}", flat, "nest deeper than 3 levels"},
        {"[\"" + std::string(61, 'x') + "\"]", flat, "longer than 64 bytes"},
        {"{} x", unbounded, "not be followed by other values"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        rapidjson::Document document;
        document.SetObject();
        document.AddMember("kept", 1, document.GetAllocator());
        const auto result = persistence::ParseJsonGuarded(c.text.c_str(), document, c.limits);
        if (*c.error == '\0') {
            EXPECT_TRUE(result.ok) << result.error;
            EXPECT_FALSE(document.IsObject() && document.HasMember("kept"));
        } else {
            EXPECT_FALSE(result.ok);
            EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
            ASSERT_TRUE(document.IsObject());  // left as it was
            EXPECT_TRUE(document.HasMember("kept"));
        }
    }
}
