// The Qt path's cost: from a query's completion on the Qt thread to its handler on the main
// thread, and the rate of small GETs against a local aiohttp server next to curl.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/credentialstorage/CredentialStorage.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "platform/process/Process.h"
#include "qtplatform/QtPlatform.h"
#include "testsupport/ServerProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

// The aiohttp peer of the tests, the platform and its scheduler, for the whole program.
struct Setup {
    Setup() : port(testsupport::freePort()) {
        ::setenv("ORV_SYSTEM_ROOT", "/nonexistent-orv-bench-root", 1);
        ::unsetenv("http_proxy");
        ::unsetenv("https_proxy");
        server = std::make_unique<testsupport::ServerProcess>(std::vector<std::string>{
            "/usr/bin/python3", std::string(ORV_QTPLATFORM_PEERS) + "/http_server.py",
            std::to_string(port)});
        if (!server->waitForPort("127.0.0.1", port)) {
            throw std::runtime_error("the HTTP peer did not start");
        }
        scheduler = common::TaskScheduler::create(std::chrono::milliseconds(tickMs),
                                                  common::ILogger::create("TaskScheduler"));
        platform = std::make_unique<QtPlatform>(scheduler.get(), &storage, "bench_qtplatform");
    }
    ~Setup() {
        platform.reset();
        server.reset();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    // The tick of the daemon's main loop.
    static constexpr int tickMs = 10;
    unsigned short port;
    std::unique_ptr<testsupport::ServerProcess> server;
    std::shared_ptr<common::ITaskScheduler> scheduler;
    common::credentialstorage::CredentialStorage storage;
    std::unique_ptr<QtPlatform> platform;
};

Setup& setup() {
    static Setup instance;
    return instance;
}

// Completion on the Qt thread (the moment the query counts as done) to the finished handler on
// the main thread, which runs the scheduler with the daemon's 10 ms tick.
void BM_CompletionToHandlerLatency(benchmark::State& state) {
    Setup& s = setup();
    for (auto _ : state) {
        auto query = s.platform->createQuery();
        std::atomic<long long> doneAt{0};
        long long handledAt = 0;
        query->setFinishedHandler(
            [&handledAt](bool) { handledAt = Clock::now().time_since_epoch().count(); });
        query->setUrl(s.url("/small"));
        IHttpQuery* raw = query.get();
        std::thread waiter([raw, &doneAt] {
            raw->waitForFinished(-1);
            doneAt = Clock::now().time_since_epoch().count();
        });
        query->execute();
        s.scheduler->runTasksUntil([&] { return handledAt == 0; });
        waiter.join();
        state.SetIterationTime(
            std::chrono::duration<double>(Clock::duration(handledAt - doneAt.load())).count());
    }
}
BENCHMARK(BM_CompletionToHandlerLatency)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50);

// 1000 small GETs issued at once; done when every query has completed on the Qt thread. No
// handler is installed: the main loop runs one task per tick, which would dominate.
void BM_ThousandGetsQtThread(benchmark::State& state) {
    Setup& s = setup();
    for (auto _ : state) {
        std::vector<IQtPlatform::HttpQueryPtr> queries;
        for (int i = 0; i < 1000; ++i) {
            queries.push_back(s.platform->createQuery());
            queries.back()->setUrl(s.url("/small"));
            queries.back()->execute();
        }
        for (auto& query : queries) {
            query->waitForFinished(60000);
        }
        state.PauseTiming();
        queries.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ThousandGetsQtThread)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The same 1000 GETs with curl, one process reusing its connection.
void BM_ThousandGetsCurl(benchmark::State& state) {
    Setup& s = setup();
    std::vector<std::string> arguments{"-s"};
    for (int i = 0; i < 1000; ++i) {
        arguments.insert(arguments.end(), {"-o", "/dev/null", s.url("/small")});
    }
    for (auto _ : state) {
        const auto result = standin::Process::run("curl", arguments);
        if (!result.succeeded()) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ThousandGetsCurl)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
