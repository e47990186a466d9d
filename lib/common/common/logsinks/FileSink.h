#pragma once

#include <string>

#include <boost/filesystem/path.hpp>

#include "common/logger/ILoggerSink.h"

namespace common {

// Appends every log line to one file, opening and closing it per line, so other programs may
// move or delete the file between lines. An existing file larger than the rotation size is
// renamed to "<stem>_<number>.log" (the first free number from 1, at least four digits) when the
// sink is created; a running program never rotates.
class FileSink : public ILoggerSink {
public:
    // Stores the absolute path and rotates. Never throws: a failed rotation is reported and the
    // existing file is appended to.
    FileSink(const boost::filesystem::path& path, unsigned long rotationSize);
    // As above; `runningAsRoot` replaces the effective user id check. Every user writes only
    // into a regular file at the path itself (never through a link, never into a FIFO); root
    // also refuses a file with more than one link or of another owner, moves it aside to
    // "<path>.bad" (or "<path>.bad.1" ... ".4") and starts the log anew, readable by root only.
    FileSink(const boost::filesystem::path& path, unsigned long rotationSize, bool runningAsRoot);
    ~FileSink() override;

    // Appends the log line and a line feed; the record is lost when the file cannot be opened.
    void write(const Record& record, unsigned long facilityWidth) override;
    // Appends an empty line pair, which separates the runs of a program.
    void writeNewLine() override;

    const boost::filesystem::path& getPath() const { return _path; }

    // The name a log file at `path` is rotated to with `number`.
    static boost::filesystem::path rotationPath(const boost::filesystem::path& path,
                                                unsigned long number);

private:
    void rotate();
    // Appends the bytes to the log file (created 0644 when missing); false when it cannot be
    // opened or written.
    bool append(const std::string& text) const;
    // The log file opened for appending; -1 when there is no usable file.
    int openLogFile() const;

    boost::filesystem::path _path;
    unsigned long _rotationSize;
    bool _runningAsRoot;
};

}  // namespace common
