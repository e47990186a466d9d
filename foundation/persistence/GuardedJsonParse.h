#pragma once

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

namespace persistence {

namespace detail {

// Characters the exponent check stops at: outside strings a quotation mark and an exponent
// marker, inside strings a quotation mark and a reverse solidus; the terminating zero in both.
struct ExponentScanTables {
    constexpr ExponentScanTables() : outside(), inside() {
        outside[0] = outside[static_cast<unsigned char>('"')] = true;
        outside[static_cast<unsigned char>('e')] = outside[static_cast<unsigned char>('E')] = true;
        inside[0] = inside[static_cast<unsigned char>('"')] = true;
        inside[static_cast<unsigned char>('\\')] = true;
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

enum class GuardFailure : int { None = 0, TooDeep = 1, NumberOutOfRange = 2 };

// Passes the parser's events on to the document and refuses what the document must not hold:
// nesting beyond the bound and numbers a double cannot hold (which RapidJSON reads as
// infinity, and which no writer can write back).
template <class Handler>
class GuardedHandler {
public:
    GuardedHandler(Handler& handler, std::size_t maxDepth)
        : m_handler(handler), m_maxDepth(maxDepth) {}

    bool Null() { return m_handler.Null(); }
    bool Bool(bool value) { return m_handler.Bool(value); }
    bool Int(int value) { return m_handler.Int(value); }
    bool Uint(unsigned value) { return m_handler.Uint(value); }
    bool Int64(int64_t value) { return m_handler.Int64(value); }
    bool Uint64(uint64_t value) { return m_handler.Uint64(value); }
    bool Double(double value) {
        if (!std::isfinite(value)) {
            m_failure = GuardFailure::NumberOutOfRange;
            return false;
        }
        return m_handler.Double(value);
    }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool copy) {
        return m_handler.RawNumber(text, length, copy);
    }
    bool String(const char* text, rapidjson::SizeType length, bool copy) {
        return m_handler.String(text, length, copy);
    }
    bool Key(const char* text, rapidjson::SizeType length, bool copy) {
        return m_handler.Key(text, length, copy);
    }
    bool StartObject() { return Enter() && m_handler.StartObject(); }
    bool EndObject(rapidjson::SizeType members) {
        --m_depth;
        return m_handler.EndObject(members);
    }
    bool StartArray() { return Enter() && m_handler.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) {
        --m_depth;
        return m_handler.EndArray(elements);
    }

    GuardFailure Failure() const { return m_failure; }

private:
    bool Enter() {
        if (m_maxDepth != 0 && ++m_depth > m_maxDepth) {
            m_failure = GuardFailure::TooDeep;
            return false;
        }
        return true;
    }

    Handler& m_handler;
    std::size_t m_maxDepth;
    std::size_t m_depth = 0;
    GuardFailure m_failure = GuardFailure::None;
};

}  // namespace detail

// What a parse may take.
struct JsonParseLimits {
    // The longest text, in bytes.
    std::size_t maxTextSize = detail::kMaxJsonTextSize;
    // The deepest nesting of objects and arrays (the root counts as 1); 0 for no bound.
    std::size_t maxDepth = 0;
};

// The outcome of a parse: `ok`, or the reason in `error`.
struct JsonParseResult {
    bool ok = false;
    std::string error;
    explicit operator bool() const { return ok; }
};

// Parses strict JSON (the parser's default rules) into `document`, with the guards every
// reader of outside text needs: the parser keeps its state on the heap (so deep nesting
// cannot exhaust the stack), exponents and text sizes that would overflow RapidJSON's number
// parser are refused before it runs, numbers beyond the range of a double are refused, and
// so is nesting beyond `limits.maxDepth`. The text ends at its first zero byte. On failure the
// document is left as it was.
inline JsonParseResult ParseJsonGuarded(const char* text, rapidjson::Document& document,
                                        const JsonParseLimits& limits = JsonParseLimits()) {
    JsonParseResult result;
    const std::size_t size = std::strlen(text);
    const std::size_t maxSize = limits.maxTextSize < detail::kMaxJsonTextSize
                                    ? limits.maxTextSize
                                    : detail::kMaxJsonTextSize;
    if (size > maxSize) {
        result.error = "the text is longer than " + std::to_string(maxSize) + " bytes";
        return result;
    }
    if (detail::HasExponentOutOfRange(text)) {
        result.error = "a number has an exponent out of range";
        return result;
    }
    struct Generator {
        const char* text;
        const JsonParseLimits& limits;
        JsonParseResult& result;

        bool operator()(rapidjson::Document& handler) {
            detail::GuardedHandler<rapidjson::Document> guarded(handler, limits.maxDepth);
            rapidjson::StringStream stream(text);
            rapidjson::Reader reader;
            const rapidjson::ParseResult parsed =
                reader.Parse<rapidjson::kParseIterativeFlag>(stream, guarded);
            if (parsed) {
                return true;
            }
            switch (guarded.Failure()) {
                case detail::GuardFailure::TooDeep:
                    result.error = "objects and arrays nest deeper than " +
                                   std::to_string(limits.maxDepth) + " levels";
                    break;
                case detail::GuardFailure::NumberOutOfRange:
                    result.error = "a number is out of range";
                    break;
                case detail::GuardFailure::None:
                    result.error = std::string(rapidjson::GetParseError_En(parsed.Code()));
                    break;
            }
            result.error += " (offset " + std::to_string(parsed.Offset()) + ")";
            return false;
        }
    };
    rapidjson::Document parsed;
    Generator generator{text, limits, result};
    parsed.Populate(generator);
    if (!result.error.empty()) {
        return result;
    }
    document.Swap(parsed);
    result.ok = true;
    return result;
}

}  // namespace persistence
