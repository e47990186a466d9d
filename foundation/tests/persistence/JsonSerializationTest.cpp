// Reading and writing whole records: round trips, the failure rules, and bad input.

#include <gtest/gtest.h>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "TestRecords.h"
#include "foundation/persistence/JsonSerialization.h"

using corvalis::unattended::ipcmessages::Sensitive;
using persistence_test::Counted;
using persistence_test::Level;

namespace {

struct Everything {
    std::string id = "default";
    std::wstring name;
    unsigned long long size = 0;
    unsigned int level = 2;
    Level severity = Level::Info;
    bool flag = false;
    boost::optional<std::string> tag;
    boost::optional<Sensitive<std::wstring>> password;
    std::vector<std::string> list;
    std::map<std::string, std::string> attributes;
    std::vector<Counted> counts;
    interprocess::protocol::ConnectTo nested;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("id", id) &
            persistence::member_variable("name", name) &
            persistence::member_variable("size", size) &
            persistence::member_variable("level", level) &
            persistence::member_variable("severity", severity) &
            persistence::member_variable("flag", flag) & persistence::member_variable("tag", tag) &
            persistence::member_variable("password", password) &
            persistence::member_variable("list", list) &
            persistence::member_variable("attributes", attributes) &
            persistence::member_variable("counts", counts) &
            persistence::member_variable("nested", nested);
    }

    bool operator==(const Everything& o) const {
        return id == o.id && name == o.name && size == o.size && level == o.level &&
               severity == o.severity && flag == o.flag && tag == o.tag && password == o.password &&
               list == o.list && attributes == o.attributes && counts == o.counts &&
               nested == o.nested;
    }
};

Everything Sample() {
    Everything e;
    e.id = "k3J9x0Qa7L\n\"\\";
    e.name = L"J\u00fcrgen \U0001F600";
    e.size = 18446744073709551615ULL;
    e.level = 4294967295U;
    e.severity = static_cast<Level>(-3);
    e.flag = true;
    e.tag = std::string("checkpoint");
    e.password = Sensitive<std::wstring>{L"s\u00e9cret"};
    e.list = {"a", "", "c"};
    e.attributes = {{"k", "v"}, {"empty", ""}};
    e.counts = {Counted{1, false}, Counted{-2, false}};
    e.nested = {"alpha", "beta"};
    return e;
}

const char kSampleText[] =
    "{\"id\":\"k3J9x0Qa7L\\n\\\"\\\\\",\"name\":\"J\xc3\xbcrgen \xf0\x9f\x98\x80\","
    "\"size\":18446744073709551615,\"level\":4294967295,\"severity\":-3,\"flag\":true,"
    "\"tag\":\"checkpoint\",\"password\":{\"sensitive\":\"s\xc3\xa9"
    "cret\"},"
    "\"list\":[\"a\",\"\",\"c\"],\"attributes\":{\"empty\":\"\",\"k\":\"v\"},"
    "\"counts\":[{\"n\":1},{\"n\":-2}],\"nested\":{\"to\":\"alpha\",\"from\":\"beta\"}}";

struct WithCounts {
    std::string id = "a";
    Counted single;
    std::vector<Counted> many;
    std::string after = "b";

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("id", id) &
            persistence::member_variable("single", single) &
            persistence::member_variable("many", many) &
            persistence::member_variable("after", after);
    }
};

}  // namespace

TEST(JsonSerialization, RecordRoundTripsThroughItsCompactText) {
    std::string text;
    ASSERT_TRUE(persistence::json_serialize(Sample(), text));
    EXPECT_EQ(text, kSampleText);

    Everything read;
    ASSERT_TRUE(persistence::json_deserialize(text, read));
    EXPECT_TRUE(read == Sample());

    std::string again;
    ASSERT_TRUE(persistence::json_serialize(read, again));
    EXPECT_EQ(again, text);
}

TEST(JsonSerialization, WritesIntoTheCallersWriter) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    ASSERT_TRUE(persistence::json_serialize(interprocess::protocol::ConnectTo{"a", "b"}, writer));
    EXPECT_STREQ(buffer.GetString(), R"({"to":"a","from":"b"})");

    rapidjson::StringBuffer prettyBuffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> pretty(prettyBuffer);
    ASSERT_TRUE(persistence::json_serialize(interprocess::protocol::ConnectTo{"a", "b"}, pretty));
    EXPECT_STREQ(prettyBuffer.GetString(), "{\n    \"to\": \"a\",\n    \"from\": \"b\"\n}");
}

TEST(JsonSerialization, TypeWithoutPersistIsItsOwnRoot) {
    const std::map<std::string, std::string> store{{"Salt", "00ff"}, {"Data", "x"}};
    std::string text;
    ASSERT_TRUE(persistence::json_serialize(store, text));
    EXPECT_EQ(text, R"({"Data":"x","Salt":"00ff"})");

    std::map<std::string, std::string> read;
    ASSERT_TRUE(persistence::json_deserialize(text, read));
    EXPECT_EQ(read, store);
    EXPECT_FALSE(persistence::json_deserialize(R"(["Data","x"])", read));

    std::vector<unsigned long> numbers;
    ASSERT_TRUE(persistence::json_deserialize("[1,2,3]", numbers));
    EXPECT_EQ(numbers, (std::vector<unsigned long>{1, 2, 3}));
}

TEST(JsonSerialization, MissingMembersKeepTheirDefaultsAndUnknownOnesAreIgnored) {
    Everything read;
    ASSERT_TRUE(persistence::json_deserialize("{}", read));
    EXPECT_TRUE(read == Everything());

    ASSERT_TRUE(persistence::json_deserialize(
        R"({"unknown":[1,{"x":null}],"Id":"case","size":5,"id":"first","id":7})", read));
    EXPECT_EQ(read.id, "first");  // the first member of a name counts; names are case-sensitive
    EXPECT_EQ(read.size, 5u);
    EXPECT_EQ(read.level, 2u);
}

TEST(JsonSerialization, WrongKindFailsTheWholeReadButLaterMembersAreStillRead) {
    Everything read;
    EXPECT_FALSE(
        persistence::json_deserialize(R"({"id":5,"size":9,"flag":"yes","level":3})", read));
    EXPECT_EQ(read.id, "default");
    EXPECT_EQ(read.size, 9u);
    EXPECT_FALSE(read.flag);
    EXPECT_EQ(read.level, 3u);
}

TEST(JsonSerialization, RootThatIsNoObjectFailsARecord) {
    for (const char* text : {"[]", "5", "\"id\"", "null", "true", "[{\"id\":\"x\"}]"}) {
        SCOPED_TRACE(text);
        Everything read;
        EXPECT_FALSE(persistence::json_deserialize(text, read));
        EXPECT_TRUE(read == Everything());
    }
}

TEST(JsonSerialization, TextThatDoesNotParseLeavesTheRecordUntouched) {
    const std::string cases[] = {
        "",
        " ",
        "{",
        "{\"id\":",
        "{\"id\":\"x\"",
        "{\"id\":\"x}",
        "{\"id\":\"x\",}",
        "{'id':'x'}",
        "{\"id\":\"x\"} {}",
        "{}x",
        "{\"id\":\"x\"}/**/",
        "{\"size\":NaN}",
        "{\"size\":Infinity}",
        "{\"size\":1e400}",
        "{\"size\":-1e400}",
        // Exponents RapidJSON would overflow on (and then read out of bounds).
        "{\"size\":0.00000000001e-2147483639}",
        "{\"other\":[1.5E-0000001999999999]}",
        "{\"size\":01}",
        "{\"size\":0x10}",
        "{\"size\":+1}",
        "{\"id\":\"\\ud800\"}",
        "{\"id\":\"\\x41\"}",
        "{\"id\":\"tab\there\"}",
        "{\"id\":\"x\"\x01}",
        std::string("{\"id\":\"a\0\"}", 10),
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text);
        Everything read = Sample();
        EXPECT_FALSE(persistence::json_deserialize(text, read));
        EXPECT_TRUE(read == Sample());
    }
}

TEST(JsonSerialization, LargeButSafeExponentsAndExponentLikeTextStillRead) {
    Everything read;
    ASSERT_TRUE(persistence::json_deserialize(
        R"({"other":[0.00000000001e-99999999,1E+00000000000000308],"id":"1e-2147483639\"2e-9999999999"})",
        read));
    EXPECT_EQ(read.id, "1e-2147483639\"2e-9999999999");
    EXPECT_FALSE(persistence::json_deserialize(R"({"size":1e-99999999})", read));
}

TEST(JsonSerialization, TextEndsAtItsFirstZeroByte) {
    Everything read;
    EXPECT_TRUE(persistence::json_deserialize(std::string("{\"id\":\"x\"}\0garbage", 18), read));
    EXPECT_EQ(read.id, "x");
}

TEST(JsonSerialization, DeepNestingIsAFailedReadNotACrash) {
    const std::size_t depth = 200000;
    Everything read;
    EXPECT_FALSE(persistence::json_deserialize(std::string(depth, '['), read));
    EXPECT_FALSE(persistence::json_deserialize("{\"list\":" + std::string(depth, '['), read));
    const std::string deepArray = std::string(depth, '[') + std::string(depth, ']');
    EXPECT_FALSE(persistence::json_deserialize(deepArray, read));
    EXPECT_FALSE(persistence::json_deserialize("{\"list\":" + deepArray + "}", read));

    // Well-formed deep nesting under a member the record does not name is ignored.
    std::string deepObject;
    for (std::size_t i = 0; i < depth; ++i) {
        deepObject += "{\"a\":";
    }
    deepObject += "1" + std::string(depth, '}');
    ASSERT_TRUE(persistence::json_deserialize("{\"other\":" + deepObject + ",\"id\":\"y\"}", read));
    EXPECT_EQ(read.id, "y");
}

TEST(JsonSerialization, EveryTruncationOfARecordFails) {
    const std::string text = kSampleText;
    for (std::size_t length = 0; length < text.size(); ++length) {
        Everything read;
        EXPECT_FALSE(persistence::json_deserialize(text.substr(0, length), read)) << length;
    }
}

TEST(JsonSerialization, DamagedInputNeverBreaksTheReader) {
    // Random byte edits of a valid text: the read may succeed or fail, but must stay within
    // its memory (the sanitizers watch).
    const std::string original = kSampleText;
    std::string alphabet = "{}[]\":,\\0123456789-.eE+tfnul \x80\xc3\xff";
    alphabet += '\0';
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        std::string text = original;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const std::size_t at = random() % text.size();
            const char c = alphabet[random() % alphabet.size()];
            switch (random() % 3) {
                case 0:
                    text[at] = c;
                    break;
                case 1:
                    text.insert(at, 1, c);
                    break;
                default:
                    text.erase(at, 1);
                    break;
            }
        }
        Everything read;
        persistence::json_deserialize(text, read);
        std::string rewritten;
        EXPECT_TRUE(persistence::json_serialize(read, rewritten));
    }
}

TEST(JsonSerialization, FailedConversionStopsTheWriteAndKeepsTheText) {
    WithCounts broken;
    broken.single.broken = true;
    std::string text = "previous";
    EXPECT_FALSE(persistence::json_serialize(broken, text));
    EXPECT_EQ(text, "previous");

    // The members after the failed one are skipped.
    rapidjson::Document document;
    document.SetObject();
    persistence::JsonSerializationWriter writer(document, document.GetAllocator());
    broken.Persist(writer);
    EXPECT_FALSE(writer.Status());
    EXPECT_TRUE(document.HasMember("id"));
    EXPECT_FALSE(document.HasMember("single"));
    EXPECT_FALSE(document.HasMember("after"));

    WithCounts brokenElement;
    brokenElement.many = {Counted{1, false}, Counted{2, true}};
    EXPECT_FALSE(persistence::json_serialize(brokenElement, text));
    EXPECT_EQ(text, "previous");
}
