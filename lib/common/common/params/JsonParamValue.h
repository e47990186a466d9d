#pragma once

#include <rapidjson/document.h>
#include <string>

namespace common {

// How a parameter value moves between its text form and a member of a JSON parameter object
// (the parameter file and the installer's attribute).
class JsonParamValue {
public:
    // The text of a member: "(null)", "false"/"true", a string as it is, a number as an
    // output stream writes it (integers in decimal, doubles with six significant digits),
    // objects and arrays as pretty-printed JSON (four spaces), anything else "(invalid)".
    static std::string toText(const rapidjson::Value& value);

    // The member a text is stored as: a number when the text is made of digits (with "-" and
    // "." for signed and floating numbers) and the number reads back as exactly the same text;
    // otherwise a string with the text's bytes. So "7" and "-12" and "0.5" become numbers,
    // while "007", "2024-01-01", "-0", "1.0" and numbers beyond 64 bits stay strings.
    static rapidjson::Value fromText(const std::string& text,
                                     rapidjson::Document::AllocatorType& allocator);
};

}  // namespace common
