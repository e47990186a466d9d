#include "common/crash/CrashReportDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "common/crash/CrashReportWriter.h"

namespace fs = boost::filesystem;

namespace common {

namespace {

constexpr const char* kUploadUrlFile = "upload-url";
constexpr std::size_t kMaxUrlLength = 8192;

bool makeFolder(const fs::path& folder, std::string& error) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        return true;
    }
    const int code = errno;
    struct stat status {};
    if (code == EEXIST && ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return true;
    }
    error = folder.string() + ": " + (code == EEXIST ? "not a folder" : std::strerror(code));
    return false;
}

}  // namespace

CrashReportDatabase::CrashReportDatabase(fs::path root) : _root(std::move(root)) {}

bool CrashReportDatabase::initialize(std::string& error) const {
    return makeFolder(_root, error) && makeFolder(_root / CrashReportWriter::kNewFolder, error) &&
           makeFolder(_root / CrashReportWriter::kPendingFolder, error) &&
           makeFolder(_root / CrashReportWriter::kCompletedFolder, error);
}

std::vector<std::string> CrashReportDatabase::reportsIn(const fs::path& folder) const {
    std::vector<std::pair<std::time_t, std::string>> found;
    boost::system::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        boost::system::error_code statusError;
        if (fs::is_directory(it->symlink_status(statusError)) && !statusError) {
            found.emplace_back(fs::last_write_time(it->path(), statusError),
                               it->path().filename().string());
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& entry : found) {
        names.push_back(std::move(entry.second));
    }
    return names;
}

std::vector<std::string> CrashReportDatabase::pendingReports() const {
    return reportsIn(_root / CrashReportWriter::kPendingFolder);
}

std::vector<std::string> CrashReportDatabase::completedReports() const {
    return reportsIn(_root / CrashReportWriter::kCompletedFolder);
}

fs::path CrashReportDatabase::pendingPath(const std::string& report) const {
    return _root / CrashReportWriter::kPendingFolder / report;
}

bool CrashReportDatabase::markCompleted(const std::string& report) const {
    const fs::path target = _root / CrashReportWriter::kCompletedFolder / report;
    boost::system::error_code error;
    fs::remove_all(target, error);
    fs::rename(pendingPath(report), target, error);
    if (error) {
        return false;
    }
    auto completed = completedReports();
    for (std::size_t i = 0; i + kMaxCompletedReports < completed.size(); ++i) {
        fs::remove_all(_root / CrashReportWriter::kCompletedFolder / completed[i], error);
    }
    return true;
}

bool CrashReportDatabase::writeUploadUrl(const std::string& url) const {
    const fs::path target = _root / kUploadUrlFile;
    const fs::path temporary = _root / (std::string(kUploadUrlFile) + ".tmp");
    ::unlink(temporary.c_str());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    bool written = true;
    const char* data = url.data();
    std::size_t left = url.size();
    while (written && left > 0) {
        const ssize_t count = ::write(fd, data, left);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        written = count > 0;
        if (written) {
            data += count;
            left -= static_cast<std::size_t>(count);
        }
    }
    written = ::fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string CrashReportDatabase::readUploadUrl() const {
    const fs::path source = _root / kUploadUrlFile;
    const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return std::string();
    }
    std::string url;
    char buffer[1024];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        url.append(buffer, static_cast<std::size_t>(count));
        if (url.size() > kMaxUrlLength) {
            url.clear();
            break;
        }
    }
    ::close(fd);
    while (!url.empty() && (url.back() == '\n' || url.back() == '\r')) {
        url.pop_back();
    }
    return url;
}

}  // namespace common
