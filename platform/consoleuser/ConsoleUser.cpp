#include "platform/consoleuser/ConsoleUser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "platform/systemroot/SystemRoot.h"

namespace standin {

namespace {

// The files read here are a few lines long; anything larger is not one of them.
constexpr std::size_t kMaxFileSize = 64 * 1024;

// Reads a regular file of at most kMaxFileSize bytes; a FIFO or a device is never opened for
// a blocking read.
bool readSmallFile(const std::string& absolute, std::string& content) {
    const int fd = ::open(SystemRoot::resolve(absolute).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    content.clear();
    char buffer[4096];
    while (ok && content.size() < kMaxFileSize) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ok;
}

// The value of the first "KEY=value" line of a logind state file.
boost::optional<std::string> stateValue(const std::string& content, const std::string& key) {
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        const std::string line = content.substr(start, end - start);
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            line[key.size()] == '=') {
            return line.substr(key.size() + 1);
        }
        start = end + 1;
    }
    return boost::none;
}

// A logind session name: letters and digits only, so it cannot leave the sessions folder.
bool isSessionName(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

boost::optional<uid_t> activeSeat0User() {
    std::string seat;
    if (!readSmallFile("/run/systemd/seats/seat0", seat)) {
        return boost::none;
    }
    if (const auto activeUid = stateValue(seat, "ACTIVE_UID")) {
        if (const auto uid = ConsoleUser::parseUid(*activeUid)) {
            return uid;
        }
    }
    const auto active = stateValue(seat, "ACTIVE");
    if (!active || !isSessionName(*active)) {
        return boost::none;
    }
    std::string session;
    if (!readSmallFile("/run/systemd/sessions/" + *active, session)) {
        return boost::none;
    }
    const auto uid = stateValue(session, "UID");
    return uid ? ConsoleUser::parseUid(*uid) : boost::none;
}

}  // namespace

boost::optional<uid_t> ConsoleUser::parseUid(const std::string& text) {
    const char* const spaces = " \t\r\n";
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string::npos) {
        return boost::none;
    }
    const std::size_t last = text.find_last_not_of(spaces);
    const std::string digits = text.substr(first, last - first + 1);
    if (digits.size() > 20) {
        return boost::none;
    }
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return boost::none;
        }
    }
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, 10);
    if (errno != 0 || value >= static_cast<unsigned long long>(std::numeric_limits<uid_t>::max())) {
        return boost::none;
    }
    return static_cast<uid_t>(value);
}

boost::optional<uid_t> ConsoleUser::uid() {
    std::string content;
    if (readSmallFile("/var/run/console-user", content)) {
        if (const auto uid = parseUid(content)) {
            return uid;
        }
    }
    return activeSeat0User();
}

}  // namespace standin
