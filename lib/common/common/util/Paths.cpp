#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <cerrno>
#include <cstring>

#include "common/logger/ILogger.h"
#include "common/util/Util.h"

namespace fs = boost::filesystem;

namespace common {
namespace util {

namespace {

// Absolute with links resolved, then normalised; unchanged (normalised) when that fails.
fs::path canonicalOrSame(const fs::path& path) {
    boost::system::error_code error;
    const fs::path canonical = fs::canonical(path, error);
    return (error ? path : canonical).lexically_normal();
}

}  // namespace

fs::path getBundlePath(const fs::path& executable) {
    const fs::path folder = executable.parent_path();
    const fs::path contents = folder.parent_path();
    const fs::path bundle = contents.parent_path();
    if (folder.filename() == "MacOS" && contents.filename() == "Contents" &&
        bundle.extension() == ".app" && bundle.filename() != ".app") {
        return bundle;
    }
    return folder;
}

fs::path getExecutablePathAndFilename() {
    boost::system::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        ILogger::create("Util")->error("cannot read the executable path: %s",
                                       error.message().c_str());
        return fs::path();
    }
    return canonicalOrSame(executable);
}

fs::path getExecutablePath() {
    return getExecutablePathAndFilename().parent_path();
}

fs::path getApplicationMainPath(const fs::path& executable) {
    const fs::path executableFolder = canonicalOrSame(executable.parent_path());
    const fs::path bundle = canonicalOrSame(getBundlePath(executable));
    if (bundle != executableFolder) {
        return bundle.parent_path();
    }
    return bundle;
}

fs::path getApplicationMainPath() {
    return getApplicationMainPath(getExecutablePathAndFilename());
}

fs::path getUserWritePath(const fs::path& mainPath) {
    const fs::path path = mainPath / "appdata";
    boost::system::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::exists(status)) {
        return path;
    }
    if (error && error.value() != ENOENT) {
        ILogger::create("Util")->error("cannot read the status of '%s': %s", path.c_str(),
                                       error.message().c_str());
        throw fs::filesystem_error("cannot read the status of the shared folder", path, error);
    }
    const bool created = fs::create_directories(path, error);
    if (error || !created) {
        // Another process may have created it meanwhile; that folder serves as well.
        boost::system::error_code ignored;
        if (fs::is_directory(path, ignored)) {
            return path;
        }
        ILogger::create("Util")->error("cannot create the folder '%s': %s", path.c_str(),
                                       error ? error.message().c_str() : "not created");
        throw fs::filesystem_error(
            "cannot create the shared folder", path,
            error ? error : boost::system::error_code(EEXIST, boost::system::generic_category()));
    }
    // Everybody may write here; the sticky bit keeps users from removing each other's files.
    // The mode is set on the folder itself, never through a link put in its place.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool modeSet = fd >= 0 && ::fchmod(fd, 01777) == 0;
    const int modeError = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    if (!modeSet) {
        ILogger::create("Util")->error("cannot set the permissions of '%s': %s", path.c_str(),
                                       std::strerror(modeError));
        throw fs::filesystem_error(
            "cannot set the permissions of the shared folder", path,
            boost::system::error_code(modeError, boost::system::generic_category()));
    }
    return path;
}

fs::path getUserWritePath() {
    const fs::path mainPath = getApplicationMainPath();
    if (mainPath.empty()) {
        throw fs::filesystem_error(
            "cannot find the program's folder for the shared folder", mainPath,
            boost::system::error_code(ENOENT, boost::system::generic_category()));
    }
    return getUserWritePath(mainPath);
}

fs::path getWorkingPath() {
    boost::system::error_code error;
    const fs::path path = fs::current_path(error);
    return error ? fs::path() : path;
}

void setWorkingPath(const fs::path& path) {
    boost::system::error_code error;
    if (path.empty() || !fs::exists(path, error)) {
        return;
    }
    fs::current_path(path, error);
}

}  // namespace util
}  // namespace common
