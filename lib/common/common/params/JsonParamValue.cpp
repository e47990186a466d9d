#include "common/params/JsonParamValue.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <cstdint>
#include <locale>
#include <sstream>

#include "common/params/ParamText.h"

namespace common {

using paramtext::isDigitsAnd;

namespace {

// The number at the start of the text as an input stream reads it; 0 when it cannot.
template <typename T>
T readNumber(const std::string& text) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    T value{};
    stream >> value;
    return stream.fail() ? T{} : value;
}

template <typename T>
std::string writeNumber(T value) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << value;
    return stream.str();
}

}  // namespace

std::string JsonParamValue::toText(const rapidjson::Value& value) {
    switch (value.GetType()) {
        case rapidjson::kNullType:
            return "(null)";
        case rapidjson::kFalseType:
            return "false";
        case rapidjson::kTrueType:
            return "true";
        case rapidjson::kStringType:
            return std::string(value.GetString(), value.GetStringLength());
        case rapidjson::kNumberType:
            if (value.IsInt()) {
                return writeNumber(value.GetInt());
            }
            if (value.IsUint()) {
                return writeNumber(value.GetUint());
            }
            if (value.IsInt64()) {
                return writeNumber(value.GetInt64());
            }
            if (value.IsUint64()) {
                return writeNumber(value.GetUint64());
            }
            return writeNumber(value.GetDouble());
        case rapidjson::kObjectType:
        case rapidjson::kArrayType: {
            rapidjson::StringBuffer buffer;
            rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
            value.Accept(writer);
            return std::string(buffer.GetString(), buffer.GetSize());
        }
    }
    return "(invalid)";
}

rapidjson::Value JsonParamValue::fromText(const std::string& text,
                                          rapidjson::Document::AllocatorType& allocator) {
    rapidjson::Value number;
    if (isDigitsAnd(text, "")) {
        number.SetUint64(readNumber<uint64_t>(text));
    } else if (isDigitsAnd(text, "-")) {
        number.SetInt64(readNumber<int64_t>(text));
    } else if (isDigitsAnd(text, "-.")) {
        number.SetDouble(readNumber<double>(text));
    }
    // A number only when nothing of the text is lost: the value must read back as the very
    // same text, or the stored form would change the parameter.
    if (number.IsNumber() && toText(number) == text) {
        return number;
    }
    return rapidjson::Value(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

}  // namespace common
