#include "common/params/CommandLineParams.h"

#include "common/params/ParamText.h"

namespace common {

using paramtext::isCommandLineKey;
using paramtext::lowerCase;

CommandLineParams::CommandLineParams(const std::vector<std::string>& arguments) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (!isCommandLineKey(arguments[i])) {
            continue;
        }
        const std::string key = lowerCase(arguments[i].substr(1));
        if (i + 1 < arguments.size() && !isCommandLineKey(arguments[i + 1])) {
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
