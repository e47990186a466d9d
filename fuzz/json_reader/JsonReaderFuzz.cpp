// The JSON framework's reader on any text: it must answer true or false, never crash, and what
// it read must write and read back to the same text.

#include <boost/optional.hpp>
#include <boost/variant.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "foundation/persistence/GuardedJsonParse.h"
#include "foundation/persistence/JsonSerialization.h"

namespace {

enum class Kind : int32_t { First = 0, Second = 1 };
enum class Flags : uint32_t { None = 0 };

struct Inner {
    std::string to;
    std::string from;
    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("to", to) &
            persistence::member_variable("from", from);
    }
    bool operator==(const Inner& other) const { return to == other.to && from == other.from; }
};

struct Other {
    int64_t n = 0;
    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("n", n);
    }
    bool operator==(const Other& other) const { return n == other.n; }
};

struct Record {
    std::string id;
    std::wstring name;
    uint64_t size = 0;
    int32_t delta = 0;
    uint16_t port = 0;
    Kind kind = Kind::First;
    Flags flags = Flags::None;
    bool flag = false;
    boost::optional<std::string> tag;
    std::vector<std::string> list;
    std::vector<boost::optional<int64_t>> numbers;
    std::map<std::string, std::string> attributes;
    Inner inner;
    std::vector<Inner> inners;
    boost::variant<Inner, Other, std::string> command;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("id", id) &
            persistence::member_variable("name", name) &
            persistence::member_variable("size", size) &
            persistence::member_variable("delta", delta) &
            persistence::member_variable("port", port) &
            persistence::member_variable("kind", kind) &
            persistence::member_variable("flags", flags) &
            persistence::member_variable("flag", flag) & persistence::member_variable("tag", tag) &
            persistence::member_variable("list", list) &
            persistence::member_variable("numbers", numbers) &
            persistence::member_variable("attributes", attributes) &
            persistence::member_variable("inner", inner) &
            persistence::member_variable("inners", inners) &
            persistence::member_variable("command", command);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    rapidjson::Document document;
    persistence::ParseJsonGuarded(text.c_str(), document);

    Record record;
    if (!persistence::json_deserialize(text, record)) {
        return 0;
    }
    std::string written;
    if (!persistence::json_serialize(record, written)) {
        return 0;  // e.g. a string longer than the writer takes
    }
    Record again;
    if (!persistence::json_deserialize(written, again)) {
        std::abort();  // what the writer writes must read back
    }
    std::string rewritten;
    if (!persistence::json_serialize(again, rewritten) || rewritten != written) {
        std::abort();
    }
    std::map<std::string, std::string> map;
    persistence::json_deserialize(text, map);
    return 0;
}
