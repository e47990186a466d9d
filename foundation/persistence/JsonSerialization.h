#pragma once

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstddef>
#include <string>
#include <type_traits>
#include <utility>

#include "foundation/persistence/JSONDeserializer.h"
#include "foundation/persistence/JSONSerializer.h"
#include "foundation/persistence/JsonSerializationReader.h"
#include "foundation/persistence/JsonSerializationWriter.h"
#include "foundation/persistence/JsonTypes.h"
#include "foundation/persistence/MemberVariable.h"

namespace persistence {

namespace detail {

// Characters the exponent check stops at: outside strings a quotation mark and an exponent
// marker, inside strings a quotation mark and a reverse solidus; the terminating zero in both.
struct ExponentScanTables {
    constexpr ExponentScanTables() : outside(), inside() {
        outside[0] = outside['"'] = outside['e'] = outside['E'] = true;
        inside[0] = inside['"'] = inside['\\'] = true;
    }
    bool outside[256];
    bool inside[256];
};

// RapidJSON adds a number's exponent and its count of fraction digits in an int without a
// check, so "0.00000000001e-2147483639" overflows and then indexes its power-of-ten table far
// out of bounds. Such exponents lie far outside the range of a double; a text that holds one
// is refused before it reaches the parser. Text inside strings is skipped.
inline bool HasExponentOutOfRange(const char* text) {
    static constexpr ExponentScanTables kStops{};
    const int kMaxExponentDigits = 8;
    const auto* begin = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* p = begin;
    for (;;) {
        while (!kStops.outside[*p]) {
            ++p;
        }
        if (*p == '\0') {
            return false;
        }
        if (*p == '"') {
            ++p;
            for (;;) {
                while (!kStops.inside[*p]) {
                    ++p;
                }
                if (*p == '\0') {
                    return false;
                }
                if (*p == '"') {
                    break;
                }
                if (p[1] == '\0') {  // a reverse solidus at the very end
                    return false;
                }
                p += 2;
            }
            ++p;
            continue;
        }
        // 'e' or 'E': an exponent when it follows the digits of a number.
        const unsigned char before = p == begin ? '\0' : p[-1];
        if ((before >= '0' && before <= '9') || before == '.') {
            const unsigned char* digit = p + 1;
            if (*digit == '+' || *digit == '-') {
                ++digit;
            }
            while (*digit == '0') {
                ++digit;
            }
            int digits = 0;
            while (*digit >= '0' && *digit <= '9') {
                if (++digits > kMaxExponentDigits) {
                    return true;
                }
                ++digit;
            }
        }
        ++p;
    }
}

// RapidJSON also counts a number's fraction digits in an int (one per leading zero, without
// bound) and adds that count to the exponent, and to 308, without a check. With the exponent
// kept to 8 digits above, a text of at most 1 GiB keeps every such sum well inside an int;
// longer texts are refused.
constexpr std::size_t kMaxJsonTextSize = std::size_t(1) << 30;

}  // namespace detail

// Writes the object into a RapidJSON writer (or any SAX handler) that the caller owns: a
// record as an object of its Persist members in order, any other kind as its own JSON value.
// Answers false when a member cannot be converted or the handler refuses the output.
template <class T, class Handler>
auto json_serialize(const T& object, Handler& writer)
    -> decltype(writer.EndObject(0u), writer.StartArray(), bool()) {
    rapidjson::Document document;
    if (!JSONSerializer<T>()(object, document, document.GetAllocator())) {
        return false;
    }
    return document.Accept(writer);
}

// Writes the object as compact JSON. On success the text is replaced; on failure it is left
// unchanged.
template <class T>
bool json_serialize(const T& object, std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    if (!json_serialize(object, writer)) {
        return false;
    }
    text.assign(buffer.GetString(), buffer.GetSize());
    return true;
}

// Parses the text (strict JSON; the text ends at its first zero byte) and reads the object
// from it. A text that does not parse leaves the object untouched. Otherwise the answer is
// the reader's: a record needs an object, and its members are read as JsonSerializationReader
// describes, so on false the object may be partly updated and must be treated as invalid.
template <class T>
bool json_deserialize(const std::string& text, T& object) {
    if (text.size() > detail::kMaxJsonTextSize || detail::HasExponentOutOfRange(text.c_str())) {
        return false;
    }
    rapidjson::Document document;
    // The iterative parser accepts exactly what the recursive one does but keeps its state on
    // the heap, so deeply nested input cannot exhaust the stack.
    document.Parse<rapidjson::kParseIterativeFlag>(text.c_str());
    if (document.HasParseError()) {
        return false;
    }
    return JSONDeserializer<T>()(document, object);
}

}  // namespace persistence
