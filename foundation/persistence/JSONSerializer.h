#pragma once

#include <rapidjson/document.h>

#include <boost/optional/optional.hpp>
#include <boost/variant/apply_visitor.hpp>
#include <boost/variant/variant.hpp>

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "foundation/conversion/UnicodeConversion.h"
#include "foundation/persistence/JsonSerializationWriter.h"
#include "foundation/persistence/JsonTypes.h"
#include "foundation/persistence/PersistenceTraits.h"
#include "foundation/persistence/ScopedUndecoratedName.h"

namespace persistence {

namespace detail {

// Copies text into the document. RapidJSON keeps string lengths in 32 bits; longer text
// cannot be written.
inline bool SetJsonString(const char* data, std::size_t size, JsonValue& out,
                          JsonAllocator& allocator) {
    if (size > std::numeric_limits<rapidjson::SizeType>::max()) {
        return false;
    }
    out.SetString(data, static_cast<rapidjson::SizeType>(size), allocator);
    return true;
}

}  // namespace detail

// A record (Persist) or a type that converts itself (ToJSON): a JSON object of its members,
// or whatever ToJSON builds.
template <class T, class Enable>
struct JSONSerializer {
    bool operator()(const T& object, JsonValue& out, JsonAllocator& allocator) const {
        return Convert(object, out, allocator, detail::has_to_json<T>(), detail::has_persist<T>());
    }

private:
    template <class HasPersist>
    static bool Convert(const T& object, JsonValue& out, JsonAllocator& allocator,
                        std::true_type /*hasToJson*/, HasPersist) {
        return object.ToJSON(out, allocator);
    }

    static bool Convert(const T& object, JsonValue& out, JsonAllocator& allocator,
                        std::false_type /*hasToJson*/, std::true_type /*hasPersist*/) {
        out.SetObject();
        JsonSerializationWriter writer(out, allocator);
        // Persist serves both archives and is therefore not const; the writer only reads.
        const_cast<T&>(object).Persist(writer);
        return writer.Status();
    }

    static bool Convert(const T&, JsonValue&, JsonAllocator&, std::false_type, std::false_type) {
        static_assert(detail::always_false<T>::value,
                      "no JSON form for this member kind: give the type a Persist member "
                      "function or ToJSON/FromJSON");
        return false;
    }
};

template <>
struct JSONSerializer<std::string> {
    bool operator()(const std::string& text, JsonValue& out, JsonAllocator& allocator) const {
        return detail::SetJsonString(text.data(), text.size(), out, allocator);
    }
};

// Wide text is written as UTF-8; code points that are not Unicode scalar values are dropped.
template <>
struct JSONSerializer<std::wstring> {
    bool operator()(const std::wstring& text, JsonValue& out, JsonAllocator& allocator) const {
        const std::string utf8 = conversion::Utf32ToUtf8(text);
        return detail::SetJsonString(utf8.data(), utf8.size(), out, allocator);
    }
};

template <>
struct JSONSerializer<bool> {
    bool operator()(bool value, JsonValue& out, JsonAllocator&) const {
        out.SetBool(value);
        return true;
    }
};

template <class T>
struct JSONSerializer<T, typename std::enable_if<detail::is_json_integer<T>::value>::type> {
    bool operator()(T value, JsonValue& out, JsonAllocator&) const {
        if (std::is_signed<T>::value) {
            out.SetInt64(static_cast<std::int64_t>(value));
        } else {
            out.SetUint64(static_cast<std::uint64_t>(value));
        }
        return true;
    }
};

// An enumeration is written as the integer value of its underlying type.
template <class T>
struct JSONSerializer<T, typename std::enable_if<std::is_enum<T>::value>::type> {
    bool operator()(T value, JsonValue& out, JsonAllocator&) const {
        static_assert(detail::has_fixed_underlying_type<T>::value,
                      "an enumeration in JSON needs a fixed underlying type "
                      "(enum class X : int32_t, or enum X : int32_t)");
        using Underlying = typename std::underlying_type<T>::type;
        if (std::is_signed<Underlying>::value) {
            out.SetInt64(static_cast<std::int64_t>(static_cast<Underlying>(value)));
        } else {
            out.SetUint64(static_cast<std::uint64_t>(static_cast<Underlying>(value)));
        }
        return true;
    }
};

// As a value (array element, variant alternative, root): the form of T, or null when empty.
// As a record member an empty optional is left out (JsonSerializationWriter).
template <class T>
struct JSONSerializer<boost::optional<T>> {
    bool operator()(const boost::optional<T>& value, JsonValue& out,
                    JsonAllocator& allocator) const {
        if (!value) {
            out.SetNull();
            return true;
        }
        return JSONSerializer<T>()(*value, out, allocator);
    }
};

template <class T, class A>
struct JSONSerializer<std::vector<T, A>> {
    bool operator()(const std::vector<T, A>& elements, JsonValue& out,
                    JsonAllocator& allocator) const {
        if (elements.size() > std::numeric_limits<rapidjson::SizeType>::max()) {
            return false;
        }
        out.SetArray();
        out.Reserve(static_cast<rapidjson::SizeType>(elements.size()), allocator);
        for (const auto& element : elements) {
            JsonValue value;
            if (!JSONSerializer<T>()(element, value, allocator)) {
                return false;
            }
            out.PushBack(value, allocator);
        }
        return true;
    }
};

// A map with text keys: one member per entry in ascending key order.
template <class V, class C, class A>
struct JSONSerializer<std::map<std::string, V, C, A>> {
    bool operator()(const std::map<std::string, V, C, A>& entries, JsonValue& out,
                    JsonAllocator& allocator) const {
        out.SetObject();
        for (const auto& entry : entries) {
            JsonValue key;
            JsonValue value;
            if (!detail::SetJsonString(entry.first.data(), entry.first.size(), key, allocator) ||
                !JSONSerializer<V>()(entry.second, value, allocator)) {
                return false;
            }
            out.AddMember(key, value, allocator);
        }
        return true;
    }
};

// A variant is its alternative's JSON object followed by the member "$" holding the
// alternative's unqualified type name; an alternative that is not an object is put in "$v":
// {"$v": <value>, "$": <name>}.
template <class... Ts>
struct JSONSerializer<boost::variant<Ts...>> {
    struct VariantVisitor : boost::static_visitor<bool> {
        VariantVisitor(JsonValue& target, JsonAllocator& alloc) : out(target), allocator(alloc) {}

        template <class Alternative>
        bool operator()(const Alternative& alternative) const {
            JsonValue converted;
            if (!JSONSerializer<Alternative>()(alternative, converted, allocator)) {
                return false;
            }
            if (converted.IsObject()) {
                out = converted;
            } else {
                out.SetObject();
                out.AddMember("$v", converted, allocator);
            }
            const std::string& name = UnqualifiedTypeName<Alternative>();
            JsonValue tag;
            if (!detail::SetJsonString(name.data(), name.size(), tag, allocator)) {
                return false;
            }
            out.AddMember("$", tag, allocator);
            return true;
        }

        JsonValue& out;
        JsonAllocator& allocator;
    };

    bool operator()(const boost::variant<Ts...>& variant, JsonValue& out,
                    JsonAllocator& allocator) const {
        return boost::apply_visitor(VariantVisitor(out, allocator), variant);
    }
};

}  // namespace persistence
