#pragma once

#include <boost/filesystem/path.hpp>

namespace standin {

// `unzip` run with an argument vector (never a shell). Answers are raw wait statuses, as from
// `system`: 0 for success, 127 << 8 when `unzip` could not be started.
class Unzip {
public:
    // `unzip -tq <archive>`: tests every entry.
    static int test(const boost::filesystem::path& archive);
    // `unzip -q -o <archive> -d <folder>`: unpacks, overwriting without asking.
    static int extract(const boost::filesystem::path& archive,
                       const boost::filesystem::path& folder);
};

}  // namespace standin
