#include "common/params/IParams.h"

#include "common/params/SecretParams.h"

namespace common {

namespace {

bool onlyOf(const std::string& text, const char* allowed) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            continue;
        }
        bool found = false;
        for (const char* a = allowed; *a != '\0'; ++a) {
            found = found || c == *a;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IParams::isUnsignedInteger(const std::string& text) const {
    return onlyOf(text, "");
}

bool IParams::isInteger(const std::string& text) const {
    return onlyOf(text, "-");
}

bool IParams::isFloat(const std::string& text) const {
    return onlyOf(text, "-.");
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
