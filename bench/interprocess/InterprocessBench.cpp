// Round trips between two processes: a raw boost.interprocess queue pair, the data link alone,
// and an IPC message through the whole stack (controller, transport, connection, asynchronous
// data link) with the programs' 10 ms tick and 100 ms poll. The second process is a fork of
// this one that echoes what it receives.
//
// Where the whole-stack time goes: each hop waits for the addressee's 100 ms poll (50 ms on
// average), and every step is one task, with one task per 10 ms tick: on the sending side the
// controller's send task, the connection's event and the link's send task; on the receiving
// side the connection's event and the controller's notification; the connections' timers and
// the polls compete for the same ticks. The frames themselves (the data link round trip) take
// a few milliseconds at most.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/interprocess/ipc/message_queue.hpp>
#include <boost/interprocess/shared_memory_object.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/taskscheduler/TaskSchedulerMac.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/datalink/IDataLink.h"

namespace bip = boost::interprocess;
using namespace std::chrono_literals;

namespace {

std::string uniquePrefix() {
    static int counter = 0;
    return "orvbench" + std::to_string(::getpid()) + "x" + std::to_string(counter++);
}

void endChild(pid_t child) {
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
}

// Raw queues: blocking send and receive, no framing.
void BM_RawQueueRoundTrip(benchmark::State& state) {
    const std::string prefix = uniquePrefix();
    const std::string toChild = prefix + "_a";
    const std::string toParent = prefix + "_b";
    bip::message_queue::remove(toChild.c_str());
    bip::message_queue::remove(toParent.c_str());
    bip::message_queue down(bip::create_only, toChild.c_str(), 100, 16384);
    bip::message_queue up(bip::create_only, toParent.c_str(), 100, 16384);
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char> buffer(16384);
        for (;;) {
            bip::message_queue::size_type size = 0;
            unsigned int priority = 0;
            down.receive(buffer.data(), buffer.size(), size, priority);
            up.send(buffer.data(), size, 0);
        }
    }
    const std::string message(static_cast<std::size_t>(state.range(0)), 'x');
    std::vector<char> buffer(16384);
    for (auto _ : state) {
        down.send(message.data(), message.size(), 0);
        bip::message_queue::size_type size = 0;
        unsigned int priority = 0;
        up.receive(buffer.data(), buffer.size(), size, priority);
    }
    endChild(child);
    bip::message_queue::remove(toChild.c_str());
    bip::message_queue::remove(toParent.c_str());
}
BENCHMARK(BM_RawQueueRoundTrip)->Arg(64)->Arg(4096);

// The data link's frames, with its non-blocking receive polled without a pause.
void BM_DataLinkRoundTrip(benchmark::State& state) {
    const std::string prefix = uniquePrefix();
    auto parent = interprocess::IDataLink::create(prefix, "parent");
    parent->init(100, 16384);
    const pid_t child = ::fork();
    if (child == 0) {
        auto link = interprocess::IDataLink::create(prefix, "child");
        link->init(100, 16384);
        for (;;) {
            std::vector<signed char> payload;
            std::string source;
            unsigned long channel = 0;
            bool synchronous = false;
            if (link->receive(payload, source, channel, synchronous)) {
                link->send(source, channel, payload, synchronous);
            }
        }
    }
    // Until the child's queue exists.
    const std::vector<signed char> message(static_cast<std::size_t>(state.range(0)), 'x');
    for (int i = 0; i < 5000 && !parent->send("child", 1, {}, false); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    while (parent->receive(payload, source, channel, synchronous)) {
    }
    for (int i = 0; i < 5000 && !parent->receive(payload, source, channel, synchronous); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    for (auto _ : state) {
        parent->send("child", 1, message, false);
        while (!parent->receive(payload, source, channel, synchronous)) {
        }
    }
    endChild(child);
    bip::shared_memory_object::remove((prefix + "_child").c_str());
}
BENCHMARK(BM_DataLinkRoundTrip)->Arg(64)->Arg(4096);

// Echoes every message from the daemon back to it.
class Echo : public interprocess::IIpcControllerClient {
public:
    explicit Echo(interprocess::IIpcController*& controller) : _controller(controller) {}
    void onIpcClientMessageReceived(const helper::ApplicationType& application,
                                    const std::string& json) override {
        _controller->send(application, json);
    }

private:
    interprocess::IIpcController*& _controller;
};

class Counter : public interprocess::IIpcControllerClient {
public:
    void onIpcClientConnected(const std::string&) override { connected = true; }
    void onIpcClientMessageReceived(const helper::ApplicationType&, const std::string&) override {
        ++received;
    }
    bool connected = false;
    long received = 0;
};

// The daemon side of the whole stack, driven as the run loop drives it: one tick every 10 ms.
struct Daemon {
    explicit Daemon(const std::string& prefix)
        : scheduler(std::make_shared<common::TaskSchedulerMac>(
              common::ILogger::create("TaskScheduler"), 10ms)),
          controller(interprocess::IIpcController::create(
              "Service", prefix, *scheduler, common::ILogger::create("IpcController"))) {
        controller->subscribe(&counter);
        controller->start();
    }
    ~Daemon() {
        controller->unsubscribe(&counter);
        controller->stop();
    }
    // Ticks until `done` or the limit; answers `done`.
    template <typename F>
    bool runUntil(F done, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            scheduler->tick();
            std::this_thread::sleep_for(10ms);
        }
        return done();
    }

    std::shared_ptr<common::TaskSchedulerMac> scheduler;
    std::unique_ptr<interprocess::IIpcController> controller;
    Counter counter;
};

pid_t startUiAgent(const std::string& prefix) {
    const pid_t child = ::fork();
    if (child == 0) {
        auto scheduler =
            common::TaskSchedulerMac::create(10ms, common::ILogger::create("TaskScheduler"));
        interprocess::IIpcController* raw = nullptr;
        auto controller = interprocess::IIpcController::create(
            "UnattendedUi-1", prefix, *scheduler, common::ILogger::create("IpcController"));
        raw = controller.get();
        Echo echo(raw);
        controller->subscribe(&echo);
        controller->start();
        controller->connectToService(nullptr);
        scheduler->run({});
        ::_exit(0);
    }
    return child;
}

// One message to the UI agent and its echo back, through both programs' main loops.
void BM_IpcStackRoundTrip(benchmark::State& state) {
    const std::string prefix = uniquePrefix();
    Daemon daemon(prefix);
    const pid_t child = startUiAgent(prefix);
    if (!daemon.runUntil([&] { return daemon.counter.connected; }, 10s)) {
        state.SkipWithError("the UI agent did not connect");
    }
    for (auto _ : state) {
        const long before = daemon.counter.received;
        daemon.controller->send(helper::ApplicationType::UnattendedUi,
                                R"({"message":{"$":"Ping"}})");
        if (!daemon.runUntil([&] { return daemon.counter.received > before; }, 10s)) {
            state.SkipWithError("no echo");
            break;
        }
    }
    endChild(child);
    bip::shared_memory_object::remove((prefix + "_UnattendedUi-1").c_str());
}
BENCHMARK(BM_IpcStackRoundTrip)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// A burst of messages to the UI agent and all their echoes: messages per second.
void BM_IpcStackThroughput(benchmark::State& state) {
    const std::string prefix = uniquePrefix();
    Daemon daemon(prefix);
    const pid_t child = startUiAgent(prefix);
    if (!daemon.runUntil([&] { return daemon.counter.connected; }, 10s)) {
        state.SkipWithError("the UI agent did not connect");
    }
    const long burst = state.range(0);
    for (auto _ : state) {
        const long before = daemon.counter.received;
        for (long i = 0; i < burst; ++i) {
            daemon.controller->send(helper::ApplicationType::UnattendedUi, R"({"n":1})");
        }
        if (!daemon.runUntil([&] { return daemon.counter.received >= before + burst; }, 60s)) {
            state.SkipWithError("echoes missing");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * burst);
    endChild(child);
    bip::shared_memory_object::remove((prefix + "_UnattendedUi-1").c_str());
}
BENCHMARK(BM_IpcStackThroughput)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

}  // namespace
