// The JSON form of every member kind, and what the reader of each kind accepts.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "TestRecords.h"
#include "foundation/persistence/JsonSerialization.h"

using corvalis::unattended::ipcmessages::Sensitive;
using persistence_test::Counted;
using persistence_test::Flags;
using persistence_test::Holder;
using persistence_test::Level;

namespace {

template <class T>
std::string Write(const T& value) {
    Holder<T> holder;
    holder.v = value;
    std::string text;
    EXPECT_TRUE(persistence::json_serialize(holder, text));
    return text;
}

template <class T>
struct ReadCase {
    std::string json;
    bool succeeds;
    T expected;  // the member after the read (it starts as `initial`)
};

template <class T>
void CheckReads(const T& initial, const std::vector<ReadCase<T>>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        Holder<T> holder;
        holder.v = initial;
        EXPECT_EQ(persistence::json_deserialize(c.json, holder), c.succeeds);
        EXPECT_TRUE(holder.v == c.expected);
    }
}

struct Inner {
    std::string id;
    bool flag = false;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("id", id) &
            persistence::member_variable("flag", flag);
    }
    bool operator==(const Inner& other) const { return id == other.id && flag == other.flag; }
};

struct Event {
    std::string id = "7";
    std::string json = "{\"a\": 1}";
    boost::optional<std::string> absent;
    unsigned long size = 3;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("id", id) &
            persistence::member_variable("json", json) &
            persistence::member_variable("absent", absent) &
            persistence::member_variable("size", size);
    }
};

}  // namespace

TEST(JsonMemberKinds, EachKindIsWrittenInItsJsonForm) {
    struct Case {
        const char* kind;
        std::string written;
        std::string expected;
    };
    const Case cases[] = {
        // Only '"', '\' and control characters are escaped; '/' and bytes from 0x7F up stay.
        {"string", Write(std::string("q\"b\\s/\x01\x1f\b\t\n\f\r\x7f\xc3\xa9", 16)),
         "{\"v\":\"q\\\"b\\\\s/\\u0001\\u001F\\b\\t\\n\\f\\r\x7f\xc3\xa9\"}"},
        {"string with a zero byte", Write(std::string("a\0b", 3)), R"({"v":"a\u0000b"})"},
        {"empty string", Write(std::string()), R"({"v":""})"},
        {"wide string", Write(std::wstring(L"\u00e9\u20ac\U0001F600")),
         "{\"v\":\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"}"},
        {"wide string, no scalar values dropped",
         Write(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'b',
                            static_cast<wchar_t>(0x110000), L'c', static_cast<wchar_t>(-1), L'd'}),
         R"({"v":"abcd"})"},
        {"unsigned long", Write(std::numeric_limits<unsigned long>::max()),
         R"({"v":18446744073709551615})"},
        {"unsigned long long", Write(0ULL), R"({"v":0})"},
        {"unsigned int", Write(4294967295U), R"({"v":4294967295})"},
        {"int", Write(INT_MIN), R"({"v":-2147483648})"},
        {"long long", Write(std::numeric_limits<long long>::min()),
         R"({"v":-9223372036854775808})"},
        {"enumeration", Write(Level::Error), R"({"v":5})"},
        {"negative enumeration", Write(static_cast<Level>(-7)), R"({"v":-7})"},
        {"unsigned enumeration", Write(static_cast<Flags>(4294967295U)), R"({"v":4294967295})"},
        {"true", Write(true), R"({"v":true})"},
        {"false", Write(false), R"({"v":false})"},
        {"empty optional member", Write(boost::optional<std::string>()), "{}"},
        {"optional member holding an empty string", Write(boost::optional<std::string>("")),
         R"({"v":""})"},
        {"optional member holding a number", Write(boost::optional<unsigned long>(7UL)),
         R"({"v":7})"},
        {"optionals in an array",
         Write(std::vector<boost::optional<std::string>>{boost::none, std::string("x")}),
         R"({"v":[null,"x"]})"},
        {"vector", Write(std::vector<std::string>{"b", "a"}), R"({"v":["b","a"]})"},
        {"empty vector", Write(std::vector<std::string>()), R"({"v":[]})"},
        {"vector of bool", Write(std::vector<bool>{true, false}), R"({"v":[true,false]})"},
        {"map, ascending keys",
         Write(std::map<std::string, std::string>{{"b", "2"}, {"a", "1"}, {"", "0"}}),
         R"({"v":{"":"0","a":"1","b":"2"}})"},
        {"empty map", Write(std::map<std::string, std::string>()), R"({"v":{}})"},
        {"nested record", Write(Inner{"x", true}), R"({"v":{"id":"x","flag":true}})"},
        {"type with ToJSON", Write(Counted{42, false}), R"({"v":{"n":42}})"},
        {"sensitive", Write(Sensitive<std::wstring>{L"pa\"ss\u00e9"}),
         "{\"v\":{\"sensitive\":\"pa\\\"ss\xc3\xa9\"}}"},
        {"optional sensitive",
         Write(boost::optional<Sensitive<std::wstring>>(Sensitive<std::wstring>{L"pw"})),
         R"({"v":{"sensitive":"pw"}})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(c.written, c.expected);
    }
}

TEST(JsonMemberKinds, MembersAreWrittenInPersistOrderWithoutSpaces) {
    std::string text = "old";
    ASSERT_TRUE(persistence::json_serialize(Event(), text));
    EXPECT_EQ(text, R"({"id":"7","json":"{\"a\": 1}","size":3})");
}

TEST(JsonMemberKinds, StringReader) {
    CheckReads<std::string>("before", {
                                          {R"({"v":"x"})", true, "x"},
                                          {R"({"v":""})", true, ""},
                                          {R"({"v":"a\u0000b"})", true, "a"},
                                          {R"({"v":"\u00e9\/"})", true, "\xc3\xa9/"},
                                          {R"({"v":"\ud83d\ude00"})", true, "\xf0\x9f\x98\x80"},
                                          {R"({})", true, "before"},
                                          {R"({"v":5})", false, "before"},
                                          {R"({"v":null})", false, "before"},
                                          {R"({"v":true})", false, "before"},
                                          {R"({"v":["x"]})", false, "before"},
                                          {R"({"v":{}})", false, "before"},
                                      });
}

TEST(JsonMemberKinds, WideStringReaderDropsOnlyTheBrokenSequences) {
    CheckReads<std::wstring>(
        L"before", {
                       {"{\"v\":\"\xf0\x9f\x98\x80\xc3\xa9\"}", true, L"\U0001F600\u00e9"},
                       {R"({"v":"\ud83d\ude00"})", true, L"\U0001F600"},
                       {R"({"v":"x\u0000y"})", true, L"x"},
                       {"{\"v\":\"A\xc3(B\"}", true, L"A(B"},
                       {"{\"v\":\"\xe2\x82\xacx\xe2\x82\"}", true, L"\u20acx"},
                       {"{\"v\":\"\xf0\x9f\x98Z\"}", true, L"Z"},
                       {"{\"v\":\"a\xed\xa0\x80z\"}", true, L"az"},  // encoded surrogate
                       {"{\"v\":\"a\xc0\xafz\"}", true, L"az"},      // overlong
                       {"{\"v\":\"a\xff\xfez\"}", true, L"az"},
                       {"{\"v\":\"\x80\"}", true, L""},
                       {R"({"v":1})", false, L"before"},
                       {R"({"v":null})", false, L"before"},
                   });
}

TEST(JsonMemberKinds, UnsignedLongReaderTakesExactlyTheIntegersOfItsRange) {
    const unsigned long max = std::numeric_limits<unsigned long>::max();
    CheckReads<unsigned long>(9, {
                                     {R"({"v":0})", true, 0},
                                     {R"({"v":18446744073709551615})", true, max},
                                     {R"({"v":9223372036854775808})", true, 9223372036854775808UL},
                                     {R"({"v":18446744073709551616})", false, 9},
                                     {R"({"v":100000000000000000000000})", false, 9},
                                     {R"({"v":-1})", false, 9},
                                     {R"({"v":1.0})", false, 9},
                                     {R"({"v":1e3})", false, 9},
                                     {R"({"v":"1"})", false, 9},
                                     {R"({"v":true})", false, 9},
                                     {R"({"v":null})", false, 9},
                                 });
    CheckReads<unsigned long long>(9, {{R"({"v":18446744073709551615})", true, max}});
}

TEST(JsonMemberKinds, NarrowerIntegersFailOutsideTheirRangeInsteadOfWrapping) {
    CheckReads<unsigned int>(9, {
                                    {R"({"v":4294967295})", true, 4294967295U},
                                    {R"({"v":4294967296})", false, 9},
                                    {R"({"v":-1})", false, 9},
                                });
    CheckReads<int>(9, {
                           {R"({"v":-2147483648})", true, INT_MIN},
                           {R"({"v":2147483647})", true, INT_MAX},
                           {R"({"v":2147483648})", false, 9},
                           {R"({"v":-2147483649})", false, 9},
                           {R"({"v":4294967295})", false, 9},
                       });
    CheckReads<long long>(9, {
                                 {R"({"v":-9223372036854775808})", true, LLONG_MIN},
                                 {R"({"v":9223372036854775808})", false, 9},
                                 {R"({"v":-9223372036854775809})", false, 9},
                             });
    CheckReads<unsigned short>(9, {
                                      {R"({"v":65535})", true, 65535},
                                      {R"({"v":65536})", false, 9},
                                  });
}

TEST(JsonMemberKinds, EnumerationReaderTakesEverythingItsWriterCanWrite) {
    CheckReads<Level>(Level::Info, {
                                       {R"({"v":5})", true, Level::Error},
                                       {R"({"v":77})", true, static_cast<Level>(77)},
                                       {R"({"v":-1})", true, static_cast<Level>(-1)},
                                       {R"({"v":-2147483648})", true, static_cast<Level>(INT_MIN)},
                                       {R"({"v":4294967295})", true, static_cast<Level>(-1)},
                                       {R"({"v":2147483648})", true, static_cast<Level>(INT_MIN)},
                                       {R"({"v":4294967296})", false, Level::Info},
                                       {R"({"v":-2147483649})", false, Level::Info},
                                       {R"({"v":1.0})", false, Level::Info},
                                       {R"({"v":"5"})", false, Level::Info},
                                       {R"({"v":false})", false, Level::Info},
                                   });
    CheckReads<Flags>(Flags::None, {
                                       {R"({"v":4294967295})", true, static_cast<Flags>(~0U)},
                                       {R"({"v":-1})", true, static_cast<Flags>(~0U)},
                                       {R"({"v":4294967296})", false, Flags::None},
                                   });

    // Every value an int enumeration can hold survives the round trip.
    for (const int value : {INT_MIN, -1, 0, 5, INT_MAX}) {
        Holder<Level> written;
        written.v = static_cast<Level>(value);
        std::string text;
        ASSERT_TRUE(persistence::json_serialize(written, text));
        Holder<Level> read;
        ASSERT_TRUE(persistence::json_deserialize(text, read)) << text;
        EXPECT_EQ(static_cast<int>(read.v), value);
    }
}

TEST(JsonMemberKinds, BoolReader) {
    CheckReads<bool>(false, {
                                {R"({"v":true})", true, true},
                                {R"({"v":1})", false, false},
                                {R"({"v":"true"})", false, false},
                                {R"({"v":null})", false, false},
                            });
    CheckReads<bool>(true, {{R"({"v":false})", true, false}});
}

TEST(JsonMemberKinds, OptionalMemberReader) {
    using Opt = boost::optional<std::string>;
    // Absent or null leave the optional as it was; a value engages it.
    CheckReads<Opt>(boost::none, {
                                     {R"({})", true, boost::none},
                                     {R"({"v":null})", true, boost::none},
                                     {R"({"v":""})", true, Opt("")},
                                     {R"({"v":"x"})", true, Opt("x")},
                                     {R"({"v":5})", false, boost::none},
                                 });
    CheckReads<Opt>(Opt("kept"), {
                                     {R"({"v":null})", true, Opt("kept")},
                                     {R"({"v":"y"})", true, Opt("y")},
                                     {R"({"v":[]})", false, Opt("kept")},
                                 });
    using OptSensitive = boost::optional<Sensitive<std::wstring>>;
    CheckReads<OptSensitive>(
        boost::none, {
                         {R"({"v":{"sensitive":"pw"}})", true, Sensitive<std::wstring>{L"pw"}},
                         {R"({"v":{}})", true, Sensitive<std::wstring>{L""}},
                         {R"({"v":null})", true, boost::none},
                         {R"({"v":"pw"})", false, boost::none},
                         {R"({"v":{"sensitive":1}})", false, boost::none},
                     });
}

TEST(JsonMemberKinds, VectorIsReplacedOnlyWhenEveryElementReads) {
    using Strings = std::vector<std::string>;
    const Strings previous{"p", "q"};
    CheckReads<Strings>(previous, {
                                      {R"({"v":["a","b","c"]})", true, Strings{"a", "b", "c"}},
                                      {R"({"v":[]})", true, Strings{}},
                                      {R"({"v":["a",1,"c"]})", false, previous},
                                      {R"({"v":["a",null]})", false, previous},
                                      {R"({"v":{"0":"a"}})", false, previous},
                                      {R"({"v":"a"})", false, previous},
                                      {R"({"v":null})", false, previous},
                                  });
    using Optionals = std::vector<boost::optional<std::string>>;
    CheckReads<Optionals>(
        {}, {{R"({"v":[null,"x"]})", true, Optionals{boost::none, std::string("x")}}});
    using Records = std::vector<Inner>;
    CheckReads<Records>(
        {}, {
                {R"({"v":[{"id":"a"},{"flag":true}]})", true, Records{{"a", false}, {"", true}}},
                {R"({"v":[{"id":"a"},"b"]})", false, Records{}},
            });
    using Bools = std::vector<bool>;
    CheckReads<Bools>({}, {{R"({"v":[true,false,true]})", true, Bools{true, false, true}}});
}

TEST(JsonMemberKinds, MapEntriesAreMergedAndStopAtTheFirstNonString) {
    using Map = std::map<std::string, std::string>;
    const Map previous{{"a", "old"}, {"z", "9"}};
    CheckReads<Map>(
        previous,
        {
            {R"({"v":{"a":"1","b":"2"}})", true, Map{{"a", "1"}, {"b", "2"}, {"z", "9"}}},
            {R"({"v":{}})", true, previous},
            // Members in document order: "b" is read, "c" fails, "d" is not reached.
            {R"({"v":{"b":"2","c":3,"d":"4"}})", false, Map{{"a", "old"}, {"b", "2"}, {"z", "9"}}},
            {R"({"v":{"a":null}})", false, previous},
            {R"({"v":[]})", false, previous},
            {R"({"v":"a"})", false, previous},
        });
}

TEST(JsonMemberKinds, NestedRecordAndConvertingTypeReaders) {
    CheckReads<Inner>(Inner{"keep", true},
                      {
                          {R"({"v":{"id":"x"}})", true, Inner{"x", true}},
                          {R"({"v":{}})", true, Inner{"keep", true}},
                          {R"({"v":"x"})", false, Inner{"keep", true}},
                          {R"({"v":[]})", false, Inner{"keep", true}},
                          {R"({"v":null})", false, Inner{"keep", true}},
                          // The failing member fails the outer read; the other member is read.
                          {R"({"v":{"id":5,"flag":false}})", false, Inner{"keep", false}},
                      });
    CheckReads<Counted>(Counted{1, false}, {
                                               {R"({"v":{"n":-3}})", true, Counted{-3, false}},
                                               {R"({"v":{"n":"3"}})", false, Counted{1, false}},
                                               {R"({"v":5})", false, Counted{1, false}},
                                           });
}

// Only enumerations with a fixed underlying type have a JSON form (checked at compile time; a
// separate test shows that a member of a plain one does not compile).
namespace {
enum PlainEnumeration { PlainValue };
enum FixedEnumeration : int { FixedValue };
enum class ScopedEnumeration { ScopedValue };
enum class NarrowEnumeration : unsigned char { NarrowValue };
}  // namespace

TEST(JsonMemberKinds, EnumerationsNeedAFixedUnderlyingType) {
    using persistence::detail::has_fixed_underlying_type;
    static_assert(!has_fixed_underlying_type<PlainEnumeration>::value, "plain");
    static_assert(has_fixed_underlying_type<FixedEnumeration>::value, "fixed");
    static_assert(has_fixed_underlying_type<ScopedEnumeration>::value, "scoped");
    static_assert(has_fixed_underlying_type<NarrowEnumeration>::value, "narrow");
    static_assert(has_fixed_underlying_type<Level>::value, "test records");
    SUCCEED();
}
