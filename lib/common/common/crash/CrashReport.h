#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <boost/filesystem/path.hpp>

namespace common {

// A crash report as the crash reporter wrote it (see CrashReportWriter), read back for the
// upload.
class CrashReport {
public:
    // One mapping of the crashed process's memory map that belongs to a file.
    struct Mapping {
        uintptr_t start = 0;
        uintptr_t end = 0;
        uintptr_t offset = 0;
        std::string path;
    };

    // A frame resolved to its module: the file and the address within it that symbol tools
    // expect (relative to the load address for position-independent files).
    struct ModuleAddress {
        std::string module;
        uintptr_t address = 0;
    };

    // Turns module addresses into "function at file:line" texts (one per address, in order;
    // an empty text when unknown). The default runs addr2line.
    using Symbolizer = std::function<std::vector<std::string>(
        const std::string& module, const std::vector<uintptr_t>& addresses)>;

    // Reads the report folder. The files are bounded (64 KiB of fields, 128 frames, 4 MiB of
    // memory map); only report.txt must exist. False, with the reason, when it cannot be read.
    bool read(const boost::filesystem::path& folder, std::string& error);

    const std::string& id() const { return _id; }
    // The "key: value" lines of report.txt, in order (annotations included).
    const std::vector<std::pair<std::string, std::string>>& fields() const { return _fields; }
    // The "annotation.<name>" fields, by name.
    std::map<std::string, std::string> annotations() const;
    const std::vector<uintptr_t>& frames() const { return _frames; }
    const std::vector<Mapping>& mappings() const { return _mappings; }

    // Where the frame lies; false when no file mapping holds it.
    bool locate(uintptr_t frame, ModuleAddress& where) const;

    // The report as text: the fields, "Backtrace:" with one line per frame
    // ("#<n> 0x<address> <module>+0x<offset> <symbol>"), then "Memory map:" and the map.
    std::string toText(const Symbolizer& symbolizer) const;

    // Runs addr2line on the module; empty texts when it is missing or fails.
    static std::vector<std::string> addr2line(const std::string& module,
                                              const std::vector<uintptr_t>& addresses);

private:
    std::string _id;
    std::vector<std::pair<std::string, std::string>> _fields;
    std::vector<uintptr_t> _frames;
    std::string _maps;
    std::vector<Mapping> _mappings;
};

}  // namespace common
