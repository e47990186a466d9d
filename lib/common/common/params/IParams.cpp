#include "common/params/IParams.h"

#include "common/params/ParamText.h"
#include "common/params/SecretParams.h"

namespace common {

using paramtext::isDigitsAnd;

bool IParams::isUnsignedInteger(const std::string& text) const {
    return isDigitsAnd(text, "");
}

bool IParams::isInteger(const std::string& text) const {
    return isDigitsAnd(text, "-");
}

bool IParams::isFloat(const std::string& text) const {
    return isDigitsAnd(text, "-.");
}

std::string IParams::toString() const {
    Guard guard(*this);
    std::string result;
    for (const auto& key : getKeys()) {
        result += key;
        result += ": ";
        result += SecretParams::mask(key, getValue(key, std::string()));
        result += "\n";
    }
    return result;
}

}  // namespace common
