#include "common/crash/CrashReportWriter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <boost/stacktrace/safe_dump_to.hpp>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "common/util/Util.h"

namespace common {

namespace {

constexpr std::size_t kPathCapacity = 3072;
constexpr std::size_t kHeaderCapacity = 16384;
constexpr std::size_t kMaxFrames = 128;
constexpr std::size_t kMaxMapsBytes = 4 * 1024 * 1024;
constexpr std::size_t kAltStackSize = 128 * 1024;
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};

// Everything the handler needs, prepared before any crash: it only copies from here.
struct PreparedState {
    char newFolder[kPathCapacity];      // "<database>/new/"
    char pendingFolder[kPathCapacity];  // "<database>/pending/"
    char idPrefix[64];                  // "<random>-"
    char header[kHeaderCapacity];       // "program: ...\nannotation.<name>: <value>\n..."
    std::size_t headerLength;
};

PreparedState gState;
// 0 idle, 1 a thread is writing a report, 2 the report is written.
std::atomic<int> gHandling{0};
std::atomic<bool> gInstalled{false};
std::mutex gInstallMutex;
bool gInstallTried = false;
alignas(16) char gAltStack[kAltStackSize];

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

// A text built in a caller-supplied array; appends past the capacity are cut.
class FixedText {
public:
    FixedText(char* data, std::size_t capacity) : _data(data), _capacity(capacity) {
        _data[0] = '\0';
    }

    FixedText& add(const char* text) {
        for (; *text != '\0' && _length + 1 < _capacity; ++text) {
            _data[_length++] = *text;
        }
        _data[_length] = '\0';
        return *this;
    }

    FixedText& add(const char* text, std::size_t length) {
        for (std::size_t i = 0; i < length && _length + 1 < _capacity; ++i) {
            _data[_length++] = text[i];
        }
        _data[_length] = '\0';
        return *this;
    }

    FixedText& number(unsigned long long value, unsigned base = 10) {
        char digits[32];
        std::size_t count = 0;
        do {
            const unsigned digit = static_cast<unsigned>(value % base);
            digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
            value /= base;
        } while (value != 0 && count < sizeof(digits));
        while (count > 0 && _length + 1 < _capacity) {
            _data[_length++] = digits[--count];
        }
        _data[_length] = '\0';
        return *this;
    }

    FixedText& signedNumber(long long value) {
        if (value < 0) {
            add("-");
            return number(0ULL - static_cast<unsigned long long>(value));
        }
        return number(static_cast<unsigned long long>(value));
    }

    const char* c_str() const { return _data; }
    std::size_t size() const { return _length; }

private:
    char* _data;
    std::size_t _capacity;
    std::size_t _length = 0;
};

void writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

int createFile(const char* path) {
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
}

void copyMemoryMap(const char* target) {
    const int in = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return;
    }
    const int out = createFile(target);
    if (out >= 0) {
        char buffer[4096];
        std::size_t total = 0;
        for (;;) {
            const ssize_t got = ::read(in, buffer, sizeof(buffer));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0 || total > kMaxMapsBytes) {
                break;
            }
            writeAll(out, buffer, static_cast<std::size_t>(got));
            total += static_cast<std::size_t>(got);
        }
        ::close(out);
    }
    ::close(in);
}

// Async-signal-safe: fixed buffers, and only open, write, read, close, mkdir, rename and the
// unwinder's safe dump.
void writeReport(int signal, const siginfo_t* info) {
    const long thread = ::syscall(SYS_gettid);
    char idBuffer[128];
    FixedText id(idBuffer, sizeof(idBuffer));
    id.add(gState.idPrefix).signedNumber(thread);

    char folderBuffer[kPathCapacity];
    FixedText folder(folderBuffer, sizeof(folderBuffer));
    folder.add(gState.newFolder).add(id.c_str());
    ::mkdir(folder.c_str(), 0700);

    char pathBuffer[kPathCapacity];
    FixedText reportPath(pathBuffer, sizeof(pathBuffer));
    reportPath.add(folder.c_str()).add("/").add(CrashReportWriter::kReportFile);
    const int report = createFile(reportPath.c_str());
    if (report >= 0) {
        struct timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        char lineBuffer[512];
        FixedText lines(lineBuffer, sizeof(lineBuffer));
        lines.add("signal: ").signedNumber(signal).add("\n");
        lines.add("code: ").signedNumber(info != nullptr ? info->si_code : 0).add("\n");
        lines.add("address: 0x")
            .number(info != nullptr ? reinterpret_cast<uintptr_t>(info->si_addr) : 0, 16)
            .add("\n");
        lines.add("pid: ").signedNumber(::getpid()).add("\n");
        lines.add("thread: ").signedNumber(thread).add("\n");
        lines.add("time: ").signedNumber(now.tv_sec).add("\n");
        writeAll(report, lines.c_str(), lines.size());
        writeAll(report, gState.header, gState.headerLength);
        ::close(report);
    }

    FixedText framesPath(pathBuffer, sizeof(pathBuffer));
    framesPath.add(folder.c_str()).add("/").add(CrashReportWriter::kFramesFile);
    const int frames = createFile(framesPath.c_str());
    if (frames >= 0) {
        boost::stacktrace::safe_dump_to(0, kMaxFrames, frames);
        ::close(frames);
    }

    FixedText mapsPath(pathBuffer, sizeof(pathBuffer));
    mapsPath.add(folder.c_str()).add("/").add(CrashReportWriter::kMapsFile);
    copyMemoryMap(mapsPath.c_str());

    FixedText pending(pathBuffer, sizeof(pathBuffer));
    pending.add(gState.pendingFolder).add(id.c_str());
    ::rename(folder.c_str(), pending.c_str());
}

void dieOf(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    // Blocked while the handler runs: delivered with the default action once it returns. A
    // fault that is not re-raised this way happens again when the instruction is retried.
    ::raise(signal);
}

void onFatalSignal(int signal, siginfo_t* info, void*) {
    const int savedErrno = errno;
    int expected = 0;
    if (gHandling.compare_exchange_strong(expected, 1)) {
        writeReport(signal, info);
        gHandling = 2;
    } else {
        // Another thread is writing the report: give it up to five seconds to finish.
        struct timespec pause {
            0, 10 * 1000 * 1000
        };
        for (int i = 0; i < 500 && gHandling.load() != 2; ++i) {
            ::nanosleep(&pause, nullptr);
        }
    }
    errno = savedErrno;
    dieOf(signal);
}

// One line per entry; control characters in names and values become spaces, so that a
// value cannot add lines of its own.
void addHeaderLine(FixedText& header, const std::string& name, const std::string& value) {
    std::string line = name + ": " + value;
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = ' ';
        }
    }
    header.add(line.c_str(), line.size()).add("\n");
}

bool prepare(const boost::filesystem::path& database,
             const std::map<std::string, std::string>& annotations) {
    const std::string newFolder = (database / CrashReportWriter::kNewFolder).string() + "/";
    const std::string pendingFolder = (database / CrashReportWriter::kPendingFolder).string() + "/";
    // Room for the report id and the file names behind the folders.
    if (newFolder.size() + 200 > kPathCapacity || pendingFolder.size() + 200 > kPathCapacity) {
        return false;
    }
    std::memcpy(gState.newFolder, newFolder.c_str(), newFolder.size() + 1);
    std::memcpy(gState.pendingFolder, pendingFolder.c_str(), pendingFolder.size() + 1);

    const std::string prefix =
        util::generateNanoId(12, "0123456789abcdefghijklmnopqrstuvwxyz") + "-";
    std::memcpy(gState.idPrefix, prefix.c_str(),
                std::min(prefix.size() + 1, sizeof(gState.idPrefix)));
    gState.idPrefix[sizeof(gState.idPrefix) - 1] = '\0';

    FixedText header(gState.header, sizeof(gState.header));
    addHeaderLine(header, "program", util::getExecutablePathAndFilename().string());
    for (const auto& annotation : annotations) {
        addHeaderLine(header, "annotation." + annotation.first, annotation.second);
    }
    gState.headerLength = header.size();
    return true;
}

void installAlternateStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
        return;  // the thread has one already
    }
    stack_t stack{};
    stack.ss_sp = gAltStack;
    stack.ss_size = sizeof(gAltStack);
    stack.ss_flags = 0;
    ::sigaltstack(&stack, nullptr);
}

}  // namespace

bool CrashReportWriter::install(const boost::filesystem::path& database,
                                const std::map<std::string, std::string>& annotations) {
    std::lock_guard<std::mutex> lock(gInstallMutex);
    if (gInstallTried) {
        return gInstalled;
    }
    gInstallTried = true;
    if (!prepare(database, annotations)) {
        return false;
    }
    installAlternateStack();
    bool all = true;
    for (int signal : kSignals) {
        struct sigaction action {};
        action.sa_sigaction = &onFatalSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        all = ::sigaction(signal, &action, nullptr) == 0 && all;
    }
    gInstalled = all;
    return all;
}

bool CrashReportWriter::installed() {
    return gInstalled;
}

}  // namespace common
