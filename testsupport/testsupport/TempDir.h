#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const boost::filesystem::path& path() const { return _path; }
    // Path of a child of the folder.
    boost::filesystem::path operator/(const std::string& child) const { return _path / child; }

    // Writes a file below the folder (parents created) and returns its path.
    boost::filesystem::path write(const std::string& relative, const std::string& content) const;
    // Whole content of a file; empty when it cannot be read.
    static std::string read(const boost::filesystem::path& file);

private:
    boost::filesystem::path _path;
};

}  // namespace testsupport
