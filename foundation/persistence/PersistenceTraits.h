#pragma once

#include <type_traits>
#include <utility>

#include "foundation/persistence/JsonSerializationReader.h"
#include "foundation/persistence/JsonSerializationWriter.h"
#include "foundation/persistence/JsonTypes.h"

namespace persistence {
namespace detail {

template <class...>
using void_t = void;

template <class>
struct always_false : std::false_type {};

// A record lists its members in a template member function Persist(Archive&).
template <class T, class = void>
struct has_persist : std::false_type {};
template <class T>
struct has_persist<
    T, void_t<decltype(std::declval<T&>().Persist(std::declval<JsonSerializationWriter&>()))>>
    : std::true_type {};

// A type that converts itself: bool ToJSON(JsonValue&, JsonAllocator&) const.
template <class T, class = void>
struct has_to_json : std::false_type {};
template <class T>
struct has_to_json<T, void_t<decltype(std::declval<const T&>().ToJSON(
                          std::declval<JsonValue&>(), std::declval<JsonAllocator&>()))>>
    : std::true_type {};

// ... and bool FromJSON(const JsonValue&).
template <class T, class = void>
struct has_from_json : std::false_type {};
template <class T>
struct has_from_json<
    T, void_t<decltype(std::declval<T&>().FromJSON(std::declval<const JsonValue&>()))>>
    : std::true_type {};

// Integers written as JSON numbers: every integral type except bool and the character types.
template <class T>
struct is_json_integer
    : std::integral_constant<
          bool, std::is_integral<T>::value && !std::is_same<T, bool>::value &&
                    !std::is_same<T, char>::value && !std::is_same<T, wchar_t>::value &&
                    !std::is_same<T, char16_t>::value && !std::is_same<T, char32_t>::value> {};

// An enumeration with a fixed underlying type (every scoped one, and an unscoped one declared
// with ": type"): only these may be list-initialised from their underlying type. Reading a
// value outside the declared ones into an enumeration without a fixed type is undefined
// behaviour, so only enumerations with a fixed type are read from or written to JSON.
template <class T, class = void>
struct has_fixed_underlying_type : std::false_type {};
template <class T>
struct has_fixed_underlying_type<
    T, void_t<decltype(T{std::declval<typename std::underlying_type<T>::type>()})>>
    : std::true_type {};

}  // namespace detail
}  // namespace persistence
