#include "testsupport/TempDir.h"

#include <boost/filesystem/operations.hpp>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (boost::filesystem::temp_directory_path() / "orv-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    _path = pattern;
}

TempDir::~TempDir() {
    boost::system::error_code ec;
    boost::filesystem::remove_all(_path, ec);
}

boost::filesystem::path TempDir::write(const std::string& relative,
                                       const std::string& content) const {
    const auto file = _path / relative;
    boost::filesystem::create_directories(file.parent_path());
    std::ofstream out(file.string(), std::ios::binary | std::ios::trunc);
    out << content;
    return file;
}

std::string TempDir::read(const boost::filesystem::path& file) {
    std::ifstream in(file.string(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace testsupport
