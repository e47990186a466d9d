#pragma once

#include <string>
#include <type_traits>

namespace conversion {

// Writes the decimal text of an integer into `to`; always succeeds for these types.
template <typename Integer>
typename std::enable_if<std::is_integral<Integer>::value && !std::is_same<Integer, bool>::value,
                        bool>::type
in_place_lexical_cast(std::string& to, Integer from) {
    to = std::to_string(from);
    return true;
}

}  // namespace conversion
