#pragma once

#include <string>
#include <type_traits>

#include <boost/system/error_code.hpp>

namespace conversion {

// Writes the decimal text of an integer into `to`; always succeeds for these types.
template <typename Integer>
typename std::enable_if<std::is_integral<Integer>::value && !std::is_same<Integer, bool>::value,
                        bool>::type
in_place_lexical_cast(std::string& to, Integer from) {
    to = std::to_string(from);
    return true;
}

// Writes the text of an error for log lines: the category's message for the value; then, for an
// error of the TLS library's category, ": ", the library's error string and " [library,
// function, reason]" (the function is 0: the library no longer records one); for any other
// category " [value]". Always succeeds.
bool in_place_lexical_cast(std::string& to, const boost::system::error_code& from);

}  // namespace conversion
