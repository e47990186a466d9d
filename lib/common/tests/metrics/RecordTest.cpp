#include "common/metrics/Record.h"

#include <gtest/gtest.h>

#include <limits>
#include <locale>
#include <string>
#include <vector>

#include "foundation/persistence/JsonSerialization.h"
#include "foundation/persistence/MemberVariable.h"

using common::metrics::AttributeValue;
using common::metrics::Record;

namespace {

// A list of records inside an upload-like envelope, written by the JSON framework.
struct Batch {
    std::vector<Record> events;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("events", events);
    }
};

TEST(MetricsRecord, JsonFormIsTheTagThenEveryAttributeInNameOrder) {
    struct Case {
        Record record;
        const char* json;
    };
    const std::vector<Case> cases = {
        {{"t", {{"b", AttributeValue(uint32_t{1})}, {"a", AttributeValue(std::string("x"))}}},
         R"({"tag":"t","a":"x","b":1})"},
        {{"t", {}}, R"({"tag":"t"})"},
        {{"all",
          {{"u32", AttributeValue(std::numeric_limits<uint32_t>::max())},
           {"i32", AttributeValue(int32_t{-5})},
           {"i64", AttributeValue(int64_t{-5000000000})},
           {"u64", AttributeValue(std::numeric_limits<uint64_t>::max())},
           {"f", AttributeValue(0.5f)},
           {"d", AttributeValue(1.25)},
           {"s", AttributeValue(std::string("\xC3\xA9 \"q\"\n"))}}},
         R"({"tag":"all","d":1.25,"f":0.5,"i32":-5,"i64":-5000000000,"s":"é \"q\"\n",)"
         R"("u32":4294967295,"u64":18446744073709551615})"},
        // An attribute named "tag" is written as a second "tag" member.
        {{"t", {{"tag", AttributeValue(int32_t{3})}}}, R"({"tag":"t","tag":3})"},
    };
    for (const auto& c : cases) {
        std::string text;
        ASSERT_TRUE(persistence::json_serialize(c.record, text));
        EXPECT_EQ(text, c.json);
    }

    Batch batch{{cases[0].record, cases[1].record}};
    std::string text;
    ASSERT_TRUE(persistence::json_serialize(batch, text));
    EXPECT_EQ(text, R"({"events":[{"tag":"t","a":"x","b":1},{"tag":"t"}]})");
}

TEST(MetricsRecord, JsonNumbersReadAsTheFirstAlternativeThatHoldsThem) {
    Record record;
    ASSERT_TRUE(persistence::json_deserialize(
        R"({"tag":"t","n":-5,"m":4294967296,"d":1.5,"s":"text","u":7,"big":-4294967296,)"
        R"("whole":2.0,"max":18446744073709551615})",
        record));
    const Record expected{"t",
                          {{"n", AttributeValue(int32_t{-5})},
                           {"m", AttributeValue(uint64_t{4294967296})},
                           {"d", AttributeValue(1.5)},
                           {"s", AttributeValue(std::string("text"))},
                           {"u", AttributeValue(uint32_t{7})},
                           {"big", AttributeValue(int64_t{-4294967296})},
                           {"whole", AttributeValue(2.0)},
                           {"max", AttributeValue(std::numeric_limits<uint64_t>::max())}}};
    EXPECT_EQ(record, expected);
    EXPECT_EQ(record.attributes.at("n").index(), 1u);  // signed 32-bit
    EXPECT_EQ(record.attributes.at("m").index(), 3u);  // unsigned 64-bit
}

TEST(MetricsRecord, MembersNoAttributeCanHoldFailTheReadAndKeepWhatWasReadBefore) {
    for (const char* bad : {"true", "false", "null", "[1]", R"({"x":1})"}) {
        Record record;
        const std::string json = std::string(R"({"tag":"t","a":1,"bad":)") + bad + R"(,"z":2})";
        EXPECT_FALSE(persistence::json_deserialize(json, record)) << bad;
        EXPECT_EQ(record, (Record{"t", {{"a", AttributeValue(uint32_t{1})}}})) << bad;
    }
    Record record;
    EXPECT_FALSE(persistence::json_deserialize(R"({"tag":5})", record));
    EXPECT_FALSE(persistence::json_deserialize(R"([{"tag":"t"}])", record));
    EXPECT_EQ(record, Record{});
}

TEST(MetricsRecord, EveryWrittenRecordReadsBackWithFloatsAsDoubles) {
    const Record written{"round-trip",
                         {{"u32", AttributeValue(uint32_t{4000000000u})},
                          {"i32", AttributeValue(int32_t{-1})},
                          {"i64", AttributeValue(int64_t{-9000000000})},
                          {"u64", AttributeValue(uint64_t{9000000000u})},
                          {"f", AttributeValue(0.25f)},
                          {"d", AttributeValue(-3.5e300)},
                          {"s", AttributeValue(std::string("\xF0\x9F\x94\x91 \\ \""))}}};
    std::string text;
    ASSERT_TRUE(persistence::json_serialize(Batch{{written, written}}, text));
    Batch read;
    ASSERT_TRUE(persistence::json_deserialize(text, read));
    Record expected = written;
    expected.attributes["f"] = 0.25;
    EXPECT_EQ(read.events, (std::vector<Record>{expected, expected}));
}

TEST(MetricsRecord, TextFormListsTheAttributesInNameOrderWithStreamFormatting) {
    struct Case {
        Record record;
        const char* text;
    };
    const std::vector<Case> cases = {
        {{"t", {}}, "MetricsRecord{tag=t, attributes={}}"},
        {{"websocket-bytes-sent",
          {{"total", AttributeValue(int64_t{10})},
           {"object", AttributeValue(std::string("0x7f00"))},
           {"size", AttributeValue(int64_t{-3})}}},
         R"(MetricsRecord{tag=websocket-bytes-sent, attributes={object="0x7f00", size="-3", total="10"}})"},
        {{"numbers",
          {{"a", AttributeValue(1.0 / 3)},
           {"b", AttributeValue(2.5f)},
           {"c", AttributeValue(1e20)},
           {"d", AttributeValue(uint64_t{18446744073709551615u})},
           {"e", AttributeValue(std::string("quote \" kept"))}}},
         R"(MetricsRecord{tag=numbers, attributes={a="0.333333", b="2.5", c="1e+20", )"
         R"(d="18446744073709551615", e="quote " kept"}})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.record.toString(), c.text);
    }

    // A global locale that groups digits and writes another decimal point changes nothing.
    struct Grouping : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous =
        std::locale::global(std::locale(std::locale::classic(), new Grouping));
    const std::string grouped =
        Record{"t", {{"n", AttributeValue(int64_t{1234567})}, {"x", AttributeValue(2.5)}}}
            .toString();
    std::locale::global(previous);
    EXPECT_EQ(grouped, R"(MetricsRecord{tag=t, attributes={n="1234567", x="2.5"}})");
}

}  // namespace
