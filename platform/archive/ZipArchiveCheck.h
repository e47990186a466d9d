#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace standin {

// Looks through a zip archive's central directory (the names `unzip` extracts) before anything
// is unpacked. Refused: a damaged or truncated directory, an absolute name, a name with a ".."
// component, a backslash, a drive letter or a control character, and symbolic links.
class ZipArchiveCheck {
public:
    // Empty when every entry may be unpacked below the target folder; otherwise why not.
    static std::string check(const boost::filesystem::path& archive);
    // The same over the archive's bytes.
    static std::string checkBytes(const std::string& bytes);
};

}  // namespace standin
