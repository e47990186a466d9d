#pragma once

#include <boost/filesystem/path.hpp>
#include <string>

#include "platform/process/Process.h"

namespace testsupport {

// Writes a zip archive with Python's zipfile. `entries` is a Python list of
// (name, content, unix mode) tuples, e.g. "[('a', 'x' * 100, 0o100644)]". True on success.
inline bool makeZip(const boost::filesystem::path& archive, const std::string& entries) {
    const std::string script =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for n, c, m in " +
        entries +
        ":\n"
        "        i = zipfile.ZipInfo(n)\n"
        "        i.create_system = 3\n"
        "        i.external_attr = m << 16\n"
        "        z.writestr(i, c)\n";
    return standin::Process::run("/usr/bin/python3", {"-c", script, archive.string()}).succeeded();
}

}  // namespace testsupport
