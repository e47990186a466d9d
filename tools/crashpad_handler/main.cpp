// Uploads the crash reports of one program's crash report database to the monitoring service.
//
//   crashpad_handler --database=<folder> [--pid=<client>] [--url=<address>] [--once]
//
// The upload address is read from the database ("upload-url") unless given. With --once the
// pending reports are uploaded once; otherwise the handler keeps watching the database while
// the client process lives, makes a last pass when it has ended, and exits.
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "CrashReportUploader.h"
#include "common/crash/CrashReportDatabase.h"

namespace {

constexpr std::chrono::milliseconds kPollPeriod{500};
constexpr std::chrono::seconds kMaxBackoff{300};

bool takeValue(const std::string& argument, const std::string& name, std::string& value) {
    if (argument.compare(0, name.size(), name) != 0) {
        return false;
    }
    value = argument.substr(name.size());
    return true;
}

bool clientGone(pid_t client, pid_t parent) {
    if (client > 0 && ::kill(client, 0) != 0 && errno == ESRCH) {
        return true;
    }
    // Started by the client itself: once the client ends, the handler gets another parent.
    return client > 0 && parent == client && ::getppid() != parent;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::string database;
    std::string url;
    std::string pidText;
    bool once = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (takeValue(argument, "--database=", database) || takeValue(argument, "--url=", url) ||
            takeValue(argument, "--pid=", pidText)) {
            continue;
        }
        if (argument == "--once") {
            once = true;
            continue;
        }
        std::fprintf(stderr, "crashpad_handler: unknown argument %s\n", argument.c_str());
        return 2;
    }
    if (database.empty()) {
        std::fprintf(stderr, "crashpad_handler: --database is required\n");
        return 2;
    }
    char* end = nullptr;
    const long pidValue = pidText.empty() ? 0 : std::strtol(pidText.c_str(), &end, 10);
    if (!pidText.empty() && (*end != '\0' || pidValue <= 0)) {
        std::fprintf(stderr, "crashpad_handler: bad --pid\n");
        return 2;
    }
    const pid_t client = static_cast<pid_t>(pidValue);
    const pid_t parent = ::getppid();

    const common::CrashReportDatabase reports(database);
    std::chrono::seconds backoff{1};
    auto nextAttempt = std::chrono::steady_clock::now();
    for (;;) {
        const bool gone = once || clientGone(client, parent);
        const auto now = std::chrono::steady_clock::now();
        if (gone || now >= nextAttempt) {
            CrashReportUploader uploader(reports, url.empty() ? reports.readUploadUrl() : url);
            if (uploader.uploadPending()) {
                backoff = std::chrono::seconds(1);
                nextAttempt = now;
            } else {
                nextAttempt = now + backoff;
                backoff = std::min(backoff * 2,
                                   std::chrono::duration_cast<std::chrono::seconds>(kMaxBackoff));
            }
        }
        if (gone) {
            return 0;
        }
        std::this_thread::sleep_for(kPollPeriod);
    }
}
