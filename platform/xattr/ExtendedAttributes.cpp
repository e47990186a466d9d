#include "platform/xattr/ExtendedAttributes.h"

#include <sys/types.h>
#include <sys/xattr.h>

#include <cerrno>

namespace standin {

std::string ExtendedAttributes::systemName(const std::string& name) {
    return "user." + name;
}

std::optional<std::string> ExtendedAttributes::read(const boost::filesystem::path& path,
                                                    const std::string& name, int* errorNumber) {
    const std::string attribute = systemName(name);
    int error = ERANGE;
    // The attribute may grow between asking for its size and reading it; then ask again.
    for (int attempt = 0; attempt < 3 && error == ERANGE; ++attempt) {
        const ssize_t size = ::getxattr(path.c_str(), attribute.c_str(), nullptr, 0);
        if (size < 0) {
            error = errno;
            break;
        }
        std::string value(static_cast<std::size_t>(size), '\0');
        if (size == 0) {
            if (errorNumber != nullptr) {
                *errorNumber = 0;
            }
            return value;
        }
        const ssize_t read = ::getxattr(path.c_str(), attribute.c_str(), &value[0], value.size());
        if (read >= 0) {
            value.resize(static_cast<std::size_t>(read));
            if (errorNumber != nullptr) {
                *errorNumber = 0;
            }
            return value;
        }
        error = errno;
    }
    if (errorNumber != nullptr) {
        *errorNumber = error;
    }
    return std::nullopt;
}

}  // namespace standin
