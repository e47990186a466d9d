#pragma once

#include <optional>
#include <string>

namespace testsupport {

// Sets (or, with no value, unsets) an environment variable for the lifetime of the object and
// restores the previous value afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string _name;
    std::optional<std::string> _previous;
};

}  // namespace testsupport
