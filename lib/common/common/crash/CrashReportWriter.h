#pragma once

#include <map>
#include <string>

#include <boost/filesystem/path.hpp>

namespace common {

// Writes a crash report when the program receives a fatal signal (SIGSEGV, SIGBUS, SIGILL,
// SIGFPE, SIGABRT, SIGTRAP, SIGSYS). The report is a folder made under "<database>/new" and
// renamed into "<database>/pending" when it is complete, holding:
//   report.txt  "key: value" lines: signal, code, address, pid, thread, time, program, and one
//               "annotation.<name>: <value>" line per annotation;
//   frames.bin  the raw return addresses of the crashing thread (boost.stacktrace's
//               safe_dump_to format: native pointers, ended by a null one or the file's end);
//   maps.txt    the process's memory map, from which the uploader symbolises the frames.
// The handler does only async-signal-safe work with buffers prepared by `install`; then it
// restores the default action and re-raises the signal, so the program still dies of it.
class CrashReportWriter {
public:
    // Prepares the buffers and installs the handlers (once per process; a later call only
    // answers whether the first succeeded). False when the database path is too long or the
    // handlers cannot be installed.
    static bool install(const boost::filesystem::path& database,
                        const std::map<std::string, std::string>& annotations);

    // Whether the handlers are installed.
    static bool installed();

    // The names of the files and folders of a report database.
    static constexpr const char* kNewFolder = "new";
    static constexpr const char* kPendingFolder = "pending";
    static constexpr const char* kCompletedFolder = "completed";
    static constexpr const char* kReportFile = "report.txt";
    static constexpr const char* kFramesFile = "frames.bin";
    static constexpr const char* kMapsFile = "maps.txt";
};

}  // namespace common
