#include "testsupport/ScopedEnv.h"

#include <stdlib.h>

namespace testsupport {

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : _name(std::move(name)) {
    if (const char* old = getenv(_name.c_str())) {
        _previous = old;
    }
    if (value) {
        setenv(_name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(_name.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (_previous) {
        setenv(_name.c_str(), _previous->c_str(), 1);
    } else {
        unsetenv(_name.c_str());
    }
}

}  // namespace testsupport
