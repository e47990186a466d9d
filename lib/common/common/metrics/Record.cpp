#include "common/metrics/Record.h"

#include <locale>
#include <sstream>

namespace common {
namespace metrics {

namespace {

using persistence::JsonAllocator;
using persistence::JsonValue;

struct ToJsonValue {
    JsonValue& out;
    JsonAllocator& allocator;

    void operator()(uint32_t value) const { out.SetUint(value); }
    void operator()(int32_t value) const { out.SetInt(value); }
    void operator()(int64_t value) const { out.SetInt64(value); }
    void operator()(uint64_t value) const { out.SetUint64(value); }
    void operator()(float value) const { out.SetDouble(static_cast<double>(value)); }
    void operator()(double value) const { out.SetDouble(value); }
    void operator()(const std::string& value) const {
        out.SetString(value.data(), static_cast<rapidjson::SizeType>(value.size()), allocator);
    }
};

std::string toText(const JsonValue& value) {
    return std::string(value.GetString(), value.GetStringLength());
}

}  // namespace

bool Record::ToJSON(JsonValue& value, JsonAllocator& allocator) const {
    // Names and texts are copied into the document, so the JSON value does not depend on this
    // record staying alive and unchanged.
    value.SetObject();
    value.AddMember("tag",
                    JsonValue(tag.data(), static_cast<rapidjson::SizeType>(tag.size()), allocator),
                    allocator);
    for (const auto& attribute : attributes) {
        JsonValue member;
        std::visit(ToJsonValue{member, allocator}, attribute.second);
        value.AddMember(
            JsonValue(attribute.first.data(),
                      static_cast<rapidjson::SizeType>(attribute.first.size()), allocator),
            member, allocator);
    }
    return true;
}

bool Record::FromJSON(const JsonValue& value) {
    if (!value.IsObject()) {
        return false;
    }
    for (auto member = value.MemberBegin(); member != value.MemberEnd(); ++member) {
        const std::string name = toText(member->name);
        const JsonValue& item = member->value;
        if (name == "tag") {
            if (!item.IsString()) {
                return false;
            }
            tag = toText(item);
        } else if (item.IsString()) {
            attributes[name] = toText(item);
        } else if (item.IsUint()) {
            attributes[name] = static_cast<uint32_t>(item.GetUint());
        } else if (item.IsInt()) {
            attributes[name] = static_cast<int32_t>(item.GetInt());
        } else if (item.IsUint64()) {
            attributes[name] = static_cast<uint64_t>(item.GetUint64());
        } else if (item.IsInt64()) {
            attributes[name] = static_cast<int64_t>(item.GetInt64());
        } else if (item.IsNumber()) {
            attributes[name] = item.GetDouble();
        } else {
            return false;
        }
    }
    return true;
}

std::string Record::toString() const {
    std::ostringstream text;
    // Numbers as the classic locale writes them, whatever locale the program made global.
    text.imbue(std::locale::classic());
    text << "MetricsRecord{tag=" << tag << ", attributes={";
    const char* separator = "";
    for (const auto& attribute : attributes) {
        text << separator << attribute.first << "=\"";
        std::visit([&text](const auto& value) { text << value; }, attribute.second);
        text << '"';
        separator = ", ";
    }
    text << "}}";
    return text.str();
}

}  // namespace metrics
}  // namespace common
