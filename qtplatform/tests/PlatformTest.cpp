// The platform itself: the message handler, the one-instance rule, the stop of the Qt thread.

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <cstdio>
#include <thread>

#include "TestSupport.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "qtplatform/LogCategories.h"
#include "qtplatform/QtPlatform.h"

using qttest::Live;

namespace {

class StderrSink : public IQtLoggingSink {
public:
    void debug(const std::string& message) override { write("debug", message); }
    void warning(const std::string& message) override { write("warning", message); }
    void error(const std::string& message) override { write("error", message); }
    void fatal(const std::string& message) override { write("fatal", message); }
    void info(const std::string& message) override { write("info", message); }

private:
    static void write(const char* level, const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", level, message.c_str());
    }
};

// A platform of its own, for tests that run in a child process.
struct OwnPlatform {
    OwnPlatform()
        : root(std::make_unique<testsupport::ScopedEnv>("ORV_SYSTEM_ROOT", dir.path().string())),
          scheduler(common::TaskScheduler::create(std::chrono::milliseconds(1),
                                                  common::ILogger::create("TaskScheduler"))),
          lines(std::make_shared<qttest::LineStore>()) {}

    std::unique_ptr<QtPlatform> make() {
        return std::make_unique<QtPlatform>(scheduler.get(), &storage, "qtplatform_tests");
    }

    testsupport::TempDir dir;
    std::unique_ptr<testsupport::ScopedEnv> root;
    std::shared_ptr<common::ITaskScheduler> scheduler;
    common::credentialstorage::CredentialStorage storage;
    std::shared_ptr<qttest::LineStore> lines;
};

class ForeignQuery : public IHttpQuery {
public:
    void setUrl(const std::string&) override {}
    void setOperation(Operation) override {}
    void setRawHeader(const std::string&, const std::string&) override {}
    void setFinishedHandler(std::function<void(bool)>&&) override {}
    void setErrorHandler(std::function<void(Error)>&&) override {}
    void setSslErrorHandler(std::function<void(std::vector<SslError::ErrorCode>)>&&) override {}
    void setBody(const std::string&) override {}
    void setContentType(const std::string&) override {}
    const std::vector<char>& getResponse() const override { return _response; }
    const std::string& getStringResponse() const override { return _text; }
    const std::map<std::string, std::string>& getRawHeaderList() const override { return _headers; }
    std::string getHeader(const std::string&) const override { return {}; }
    void execute() override {}
    void transferFile(const std::string&) override {}
    void reset() override {}
    bool waitForFinished(int) override { return false; }
    void ignoreSslErrors(const std::vector<SslError::ErrorCode>&) override {}
    void resetEventHandlers() override { ++resets; }
    int resets = 0;

private:
    std::vector<char> _response;
    std::string _text;
    std::map<std::string, std::string> _headers;
};

}  // namespace

TEST(QtPlatformMessages, LinesReachTheSinkByLevelWithTheirCategory) {
    Live* live = Live::get();
    if (live == nullptr) {
        GTEST_SKIP() << "this process runs a platform set up for another test";
    }
    qCWarning(HttpQueryLog) << "probe warning";
    qCCritical(WebSocketLog) << "probe critical";
    qCInfo(ProxyAuthenticatorLog) << "probe info";
    qCDebug(MainThreadLog) << "probe debug";
    qWarning("probe default");
    EXPECT_TRUE(live->lines().contains("warning", "[ HttpQuery ] probe warning"));
    EXPECT_TRUE(live->lines().contains("error", "[ WebSocket ] probe critical"));
    EXPECT_TRUE(live->lines().contains("info", "[ ProxyAuthenticator ] probe info"));
    EXPECT_TRUE(live->lines().contains("debug", "[ MainThread ] probe debug"));
    EXPECT_TRUE(live->lines().contains("warning", "[ default ] probe default"));
}

TEST(QtPlatformMessages, ADeleterGivenAForeignObjectDoesNothing) {
    Live* live = Live::get();
    if (live == nullptr) {
        GTEST_SKIP() << "this process runs a platform set up for another test";
    }
    auto query = live->platform().createQuery();
    ForeignQuery foreign;
    query.get_deleter()(&foreign);
    query.get_deleter()(nullptr);
    EXPECT_EQ(foreign.resets, 0);
}

TEST(QtPlatformDeathTest, ASecondLivePlatformEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            OwnPlatform own;
            auto first = own.make();
            first->setQtLoggingSink(std::make_unique<StderrSink>());
            auto second = own.make();
        },
        "QtPlatform can only have one instance at a time and it's already instantiated");
}

TEST(QtPlatformLifecycleTest, APlatformCanBeMadeAgainAfterTheFirstIsGone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [] {
        OwnPlatform own;
        bool ok = true;
        {
            auto first = own.make();
            qWarning("dropped before the sink");
            first->setQtLoggingSink(std::make_unique<qttest::RecordingSink>(own.lines));
            qWarning("kept after the sink");
            auto query = first->createQuery();
            query.reset();
        }
        ok = ok && !own.lines->contains("", "dropped before the sink");
        ok = ok && own.lines->contains("warning", "kept after the sink");
        ok = ok && own.lines->contains("debug", "[ default ] stopping");
        ok = ok && own.lines->contains("debug", "waiting to main loop to stop");
        ok = ok && own.lines->contains("debug", "main loop finished with result 0");
        {
            auto second = own.make();
            second->setQtLoggingSink(std::make_unique<qttest::RecordingSink>(own.lines));
            auto socket = second->createWebSocket();
        }
        // Messages after destruction reach no sink.
        qWarning("after the end");
        return ok && !own.lines->contains("", "after the end");
    };
    EXPECT_EXIT(std::exit(run() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(QtPlatformLifecycleTest, AQtThreadThatDoesNotStopIsLeftRunningNotTerminated) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [] {
        OwnPlatform own;
        std::atomic<bool> release{false};
        std::atomic<bool> blocked{false};
        std::atomic<bool> finishedBlocking{false};
        auto platform = own.make();
        platform->setQtLoggingSink(std::make_unique<qttest::RecordingSink>(own.lines));
        auto query = platform->createQuery();
        // Keep the Qt thread busy for longer than the stop wait.
        QMetaObject::invokeMethod(
            dynamic_cast<QObject*>(query.get()),
            [&] {
                blocked = true;
                for (int i = 0; i < 2000 && !release; ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                finishedBlocking = true;
            },
            Qt::QueuedConnection);
        while (!blocked) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        query.reset();
        platform.reset();
        bool ok = own.lines->contains("warning",
                                      "main loop didn't stop in 5000 ms, and had to be terminated");
        ok = ok && own.lines->contains("warning", "failed to wait for stopped state");
        // The thread was not cancelled: it finishes its work once released.
        ok = ok && !finishedBlocking;
        release = true;
        for (int i = 0; i < 2000 && !finishedBlocking; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return ok && finishedBlocking;
    };
    EXPECT_EXIT(std::exit(run() ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
