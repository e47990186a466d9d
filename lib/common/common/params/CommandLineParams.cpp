#include "common/params/CommandLineParams.h"

#include <cctype>

namespace common {

namespace {

std::string lowerCase(const std::string& text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

bool isKey(const std::string& argument) {
    return argument.size() > 1 && argument[0] == '-';
}

}  // namespace

CommandLineParams::CommandLineParams(const std::vector<std::string>& arguments) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (!isKey(arguments[i])) {
            continue;
        }
        const std::string key = lowerCase(arguments[i].substr(1));
        if (i + 1 < arguments.size() && !isKey(arguments[i + 1])) {
            _values[key] = arguments[i + 1];
            ++i;
        } else {
            _values[key] = "1";
        }
    }
}

bool CommandLineParams::isReadOnly() const {
    return true;
}

std::string CommandLineParams::getValue(const std::string& key,
                                        const std::string& defaultValue) const {
    const auto it = _values.find(lowerCase(key));
    return it == _values.end() ? defaultValue : it->second;
}

bool CommandLineParams::setValue(const std::string& /*key*/, std::string /*value*/) {
    return false;
}

bool CommandLineParams::hasValue(const std::string& key) const {
    return _values.count(lowerCase(key)) != 0;
}

bool CommandLineParams::removeValue(const std::string& key) {
    _values.erase(lowerCase(key));
    return true;
}

std::set<std::string> CommandLineParams::getKeys() const {
    std::set<std::string> keys;
    for (const auto& entry : _values) {
        keys.insert(entry.first);
    }
    return keys;
}

}  // namespace common
