#include "common/logsinks/FileSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>

#include <boost/filesystem/operations.hpp>
#include <boost/system/error_code.hpp>

#include "common/logger/ILogger.h"
#include "common/util/Util.h"

namespace fs = boost::filesystem;

namespace common {

namespace {

const char kSinkName[] = "FileSink";

// Through a facade (the line reaches the sinks once they are added) and on standard error,
// since this sink may be the only one and the rotation happens before it is registered.
void reportRotationFailure(const fs::path& path, const std::string& detail) {
    std::fprintf(stderr, "%s: failed to rotate log file \"%s\": %s\n", kSinkName, path.c_str(),
                 detail.c_str());
    ILogger::create(kSinkName)->error("failed to rotate log file \"%s\": %s", path.c_str(),
                                      detail.c_str());
}

int openRetrying(const char* path, int flags, mode_t mode) {
    int fd = -1;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string describe(const char* operation, const fs::path& path,
                     const boost::system::error_code& ec) {
    return std::string(operation) + " \"" + path.string() + "\": " + ec.message();
}

}  // namespace

FileSink::FileSink(const fs::path& path, unsigned long rotationSize)
    : FileSink(path, rotationSize, ::geteuid() == 0) {}

FileSink::FileSink(const fs::path& path, unsigned long rotationSize, bool runningAsRoot)
    : ILoggerSink(kSinkName),
      _path(path),
      _rotationSize(rotationSize),
      _runningAsRoot(runningAsRoot) {
    try {
        boost::system::error_code ec;
        const fs::path absolute = fs::system_complete(path, ec);
        if (!ec) {
            _path = absolute;
        }
        rotate();
    } catch (const std::exception& e) {
        reportRotationFailure(_path, e.what());
    } catch (...) {
        reportRotationFailure(_path, "unknown error");
    }
}

FileSink::~FileSink() = default;

void FileSink::write(const Record& record, unsigned long facilityWidth) {
    try {
        std::string line = record.toString(facilityWidth);
        line.push_back('\n');
        append(line);
    } catch (...) {
        // The record is lost, as when the file cannot be opened.
    }
}

void FileSink::writeNewLine() {
    try {
        append("\n\n");
    } catch (...) {
    }
}

fs::path FileSink::rotationPath(const fs::path& path, unsigned long number) {
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), "_%04lu.log", number);
    return path.parent_path() / (path.stem().string() + suffix);
}

void FileSink::rotate() {
    boost::system::error_code ec;
    // Follows a link: the size that counts is that of the file the lines go to.
    const fs::file_status status = fs::status(_path, ec);
    if (status.type() == fs::file_not_found) {
        return;
    }
    if (status.type() == fs::status_error) {
        reportRotationFailure(_path, describe("status of", _path, ec));
        return;
    }
    const boost::uintmax_t size = fs::file_size(_path, ec);
    if (ec) {
        reportRotationFailure(_path, describe("size of", _path, ec));
        return;
    }
    if (size <= _rotationSize) {
        return;
    }

    fs::path target;
    for (unsigned long number = 1; number != 0; ++number) {
        const fs::path candidate = rotationPath(_path, number);
        // A name is free when nothing, not even a dangling link, is there.
        const fs::file_status candidateStatus = fs::symlink_status(candidate, ec);
        if (candidateStatus.type() == fs::file_not_found) {
            target = candidate;
            break;
        }
        if (candidateStatus.type() == fs::status_error) {
            reportRotationFailure(_path, describe("status of", candidate, ec));
            return;
        }
    }
    if (target.empty()) {
        reportRotationFailure(_path, "no free rotation name");
        return;
    }
    fs::rename(_path, target, ec);
    if (ec) {
        reportRotationFailure(_path, describe("rename to", target, ec));
    }
}

int FileSink::openLogFile() const {
    // Every user: never through a link, never blocking on a FIFO or a device, and only into a
    // regular file, since the log folder may be writable by everybody.
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    mode_t createMode = 0644;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = openRetrying(_path.c_str(), flags, 0);
        if (fd < 0 && errno == ENOENT) {
            fd = openRetrying(_path.c_str(), flags | O_CREAT | O_EXCL, createMode);
            if (fd < 0 && errno == EEXIST) {
                continue;  // made by someone else meanwhile: look at it again
            }
            return fd;
        }
        if (fd < 0) {
            return -1;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return -1;
        }
        if (!_runningAsRoot || (info.st_nlink == 1 && info.st_uid == ::geteuid())) {
            return fd;
        }
        // Root appends only to a file of its own that has no other name: another link could
        // make it write into any file of the system. The planted file is moved aside and the
        // log starts anew, readable by root only.
        ::close(fd);
        const fs::path aside = util::moveAside(_path, ".bad", 5);
        if (aside.empty()) {
            return -1;
        }
        std::fprintf(stderr,
                     "%s: moved \"%s\" aside to \"%s\": it has %lu links and belongs to user "
                     "%u\n",
                     kSinkName, _path.c_str(), aside.c_str(),
                     static_cast<unsigned long>(info.st_nlink), static_cast<unsigned>(info.st_uid));
        createMode = 0600;
    }
    return -1;
}

bool FileSink::append(const std::string& text) const {
    const int fd = openLogFile();
    if (fd < 0) {
        return false;
    }
    const char* data = text.data();
    std::size_t left = text.size();
    bool written = true;
    while (left > 0) {
        const ssize_t count = ::write(fd, data, left);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            written = false;
            break;
        }
        data += count;
        left -= static_cast<std::size_t>(count);
    }
    ::close(fd);
    return written;
}

}  // namespace common
