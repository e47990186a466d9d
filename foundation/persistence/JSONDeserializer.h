#pragma once

#include <rapidjson/document.h>

#include <boost/optional/optional.hpp>
#include <boost/variant/variant.hpp>

#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "foundation/conversion/UnicodeConversion.h"
#include "foundation/persistence/JsonSerializationReader.h"
#include "foundation/persistence/JsonTypes.h"
#include "foundation/persistence/PersistenceTraits.h"
#include "foundation/persistence/ScopedUndecoratedName.h"

namespace persistence {

namespace detail {

// The length of a JSON string's text up to its first U+0000.
inline std::size_t JsonStringLength(const JsonValue& in) {
    const char* text = in.GetString();
    const std::size_t length = in.GetStringLength();
    const void* zero = std::memchr(text, '\0', length);
    return zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                           : length;
}

// The text of a JSON string up to its first U+0000.
inline std::string JsonStringText(const JsonValue& in) {
    return std::string(in.GetString(), JsonStringLength(in));
}

// Reads a JSON integer (no fraction, no exponent) that lies in [minimum, maximum]. The value
// is returned in 64 bits: as its two's-complement bits when it is negative.
inline bool ReadJsonInteger(const JsonValue& in, std::int64_t minimum, std::uint64_t maximum,
                            std::uint64_t& bits) {
    if (in.IsInt64()) {
        const std::int64_t value = in.GetInt64();
        if (value < minimum || (value > 0 && static_cast<std::uint64_t>(value) > maximum)) {
            return false;
        }
        bits = static_cast<std::uint64_t>(value);
        return true;
    }
    if (in.IsUint64()) {
        const std::uint64_t value = in.GetUint64();
        if (value > maximum) {
            return false;
        }
        bits = value;
        return true;
    }
    return false;
}

}  // namespace detail

// A record (Persist) or a type that converts itself (FromJSON). A record needs a JSON object
// and is read by its Persist with a reader of its own.
template <class T, class Enable>
struct JSONDeserializer {
    bool operator()(const JsonValue& in, T& object) const {
        return Convert(in, object, detail::has_from_json<T>(), detail::has_persist<T>());
    }

private:
    template <class HasPersist>
    static bool Convert(const JsonValue& in, T& object, std::true_type /*hasFromJson*/,
                        HasPersist) {
        return object.FromJSON(in);
    }

    static bool Convert(const JsonValue& in, T& object, std::false_type /*hasFromJson*/,
                        std::true_type /*hasPersist*/) {
        if (!in.IsObject()) {
            return false;
        }
        JsonSerializationReader reader(in);
        object.Persist(reader);
        return reader.Status();
    }

    static bool Convert(const JsonValue&, T&, std::false_type, std::false_type) {
        static_assert(detail::always_false<T>::value,
                      "no JSON form for this member kind: give the type a Persist member "
                      "function or ToJSON/FromJSON");
        return false;
    }
};

template <>
struct JSONDeserializer<std::string> {
    bool operator()(const JsonValue& in, std::string& text) const {
        if (!in.IsString()) {
            return false;
        }
        text = detail::JsonStringText(in);
        return true;
    }
};

// UTF-8 to wide text up to the first U+0000; invalid or incomplete sequences are dropped.
template <>
struct JSONDeserializer<std::wstring> {
    bool operator()(const JsonValue& in, std::wstring& text) const {
        if (!in.IsString()) {
            return false;
        }
        text = conversion::Utf8ToUtf32(in.GetString(), detail::JsonStringLength(in));
        return true;
    }
};

template <>
struct JSONDeserializer<bool> {
    bool operator()(const JsonValue& in, bool& value) const {
        if (!in.IsBool()) {
            return false;
        }
        value = in.GetBool();
        return true;
    }
};

// An integer member takes exactly the JSON integers in its own range.
template <class T>
struct JSONDeserializer<T, typename std::enable_if<detail::is_json_integer<T>::value>::type> {
    bool operator()(const JsonValue& in, T& value) const {
        std::uint64_t bits = 0;
        if (!detail::ReadJsonInteger(in, std::numeric_limits<T>::min(),
                                     std::numeric_limits<T>::max(), bits)) {
            return false;
        }
        value = static_cast<T>(bits);
        return true;
    }
};

// An enumeration takes every integer that fits its underlying width, signed or unsigned
// (-2147483648..4294967295 for an int), so that whatever the writer writes reads back; the
// value is stored without a check against the enumerators. Enumerations read this way need a
// fixed underlying type.
template <class T>
struct JSONDeserializer<T, typename std::enable_if<std::is_enum<T>::value>::type> {
    bool operator()(const JsonValue& in, T& value) const {
        static_assert(detail::has_fixed_underlying_type<T>::value,
                      "an enumeration in JSON needs a fixed underlying type "
                      "(enum class X : int32_t, or enum X : int32_t)");
        using Underlying = typename std::underlying_type<T>::type;
        using Signed = typename std::make_signed<Underlying>::type;
        using Unsigned = typename std::make_unsigned<Underlying>::type;
        std::uint64_t bits = 0;
        if (!detail::ReadJsonInteger(in, std::numeric_limits<Signed>::min(),
                                     std::numeric_limits<Unsigned>::max(), bits)) {
            return false;
        }
        value = static_cast<T>(static_cast<Underlying>(static_cast<Unsigned>(bits)));
        return true;
    }
};

// null leaves the optional as it was; any other value must read as T and engages it.
template <class T>
struct JSONDeserializer<boost::optional<T>> {
    bool operator()(const JsonValue& in, boost::optional<T>& value) const {
        if (in.IsNull()) {
            return true;
        }
        T read = value ? *value : T();
        if (!JSONDeserializer<T>()(in, read)) {
            return false;
        }
        value = std::move(read);
        return true;
    }
};

// The target vector is replaced only when every element reads.
template <class T, class A>
struct JSONDeserializer<std::vector<T, A>> {
    bool operator()(const JsonValue& in, std::vector<T, A>& elements) const {
        if (!in.IsArray()) {
            return false;
        }
        // Grown element by element: an array of wrong elements costs no memory up front.
        std::vector<T, A> read;
        for (const JsonValue& element : in.GetArray()) {
            T value = T();
            if (!JSONDeserializer<T>()(element, value)) {
                return false;
            }
            read.push_back(std::move(value));
        }
        elements = std::move(read);
        return true;
    }
};

// Every member of the object is inserted or overwrites the entry of its key; the map is not
// cleared first. Reading stops at the first value that does not convert; the entries read
// before it stay.
template <class V, class C, class A>
struct JSONDeserializer<std::map<std::string, V, C, A>> {
    bool operator()(const JsonValue& in, std::map<std::string, V, C, A>& entries) const {
        if (!in.IsObject()) {
            return false;
        }
        for (const auto& member : in.GetObject()) {
            V value = V();
            if (!JSONDeserializer<V>()(member.value, value)) {
                return false;
            }
            entries[detail::JsonStringText(member.name)] = std::move(value);
        }
        return true;
    }
};

// The variant needs an object with a string member "$". The alternative whose unqualified
// name equals "$" is read from "$v" when present, else from the object itself, and replaces
// the variant's value only when it reads. A "$" that names no alternative, or an alternative
// that does not read, leaves the variant as it was and is no failure.
template <class... Ts>
struct JSONDeserializer<boost::variant<Ts...>> {
    struct VariantTypeVisitor {
        // Reads the alternative A when it is the one named; answers whether it was named.
        template <class A>
        bool TryAlternative(const JsonValue& source, boost::variant<Ts...>& variant) const {
            if (name != UnqualifiedTypeName<A>()) {
                return false;
            }
            A alternative = A();
            if (JSONDeserializer<A>()(source, alternative)) {
                variant = std::move(alternative);
            }
            return true;
        }

        const std::string& name;
    };

    bool operator()(const JsonValue& in, boost::variant<Ts...>& variant) const {
        if (!in.IsObject()) {
            return false;
        }
        const auto tag = in.FindMember("$");
        if (tag == in.MemberEnd() || !tag->value.IsString()) {
            return false;
        }
        const auto wrapped = in.FindMember("$v");
        const JsonValue& source = wrapped != in.MemberEnd() ? wrapped->value : in;
        const std::string name(tag->value.GetString(), tag->value.GetStringLength());
        const VariantTypeVisitor visitor{name};
        // Declaration order; the first alternative of that name counts.
        (void)(visitor.template TryAlternative<Ts>(source, variant) || ...);
        return true;
    }
};

}  // namespace persistence
