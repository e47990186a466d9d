#pragma once

#include <boost/filesystem/path.hpp>
#include <optional>
#include <string>

namespace standin {

// Extended attributes of files and folders. Attribute names are given as the programs know
// them ("com.orvanta.corvalis"); here they live in the "user." namespace.
class ExtendedAttributes {
public:
    // The name of the attribute `name` on this system: "user." followed by the name.
    static std::string systemName(const std::string& name);

    // The bytes of the attribute `name` of `path` (symbolic links are followed). No value when
    // the attribute is missing or cannot be read; `errorNumber`, when given, then receives the
    // error (ENODATA for a missing attribute, ENOENT for a missing path, ...), else 0.
    static std::optional<std::string> read(const boost::filesystem::path& path,
                                           const std::string& name, int* errorNumber = nullptr);
};

}  // namespace standin
