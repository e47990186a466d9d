// ipcpeer: an independent peer for the inter-process messaging.
//
//   ipcpeer raw <prefix> <participant>
//       Creates the queue <prefix>_<participant> (100 x 16384) and reads commands, one a line:
//         send <participant> <channel> <0|1> <text>   put one frame; answers "sent 1" or "sent 0"
//         recv <ms>      wait up to <ms> for a frame: "frame <source> <channel> <0|1> <text>"
//         echo <ms>      as recv, then send the frame back to its source, flagged synchronous
//         rawrecv <ms>   the next message's raw bytes: "raw <hex>"
//         quit
//       A wait that finds nothing answers "none".
//
//   ipcpeer endpoint <prefix> <participant> [connect]
//       Runs an IPC controller under that participant name (and connects to "Service" when
//       asked: "connect 1" or "connect 0"). Prints "connected <address>",
//       "disconnected <address>", "message <kind> <json>", "syncmessage <kind> <json>". Commands:
//         send <kind> <json>    queue the text for the peer of that kind
//         sync <kind> <json>    synchronous send: "sync-result 1" or "sync-result 0"
//         quit                  stop the controller and end
//
// Every answer is one line on standard output, flushed at once; "ready" follows the start.

#include <poll.h>
#include <unistd.h>

#include <boost/interprocess/ipc/message_queue.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/logger/Logger.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/datalink/IDataLink.h"

namespace {

void say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string hex(const char* data, std::size_t size) {
    static const char* const kDigits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 0xf]);
    }
    return out;
}

// The rest of the stream after the words already read, without the separating space.
std::string rest(std::istringstream& words) {
    std::string text;
    std::getline(words, text);
    if (!text.empty() && text[0] == ' ') {
        text.erase(0, 1);
    }
    return text;
}

int runRaw(const std::string& prefix, const std::string& participant) {
    auto link = interprocess::IDataLink::create(prefix, participant);
    if (!link->init(100, 16384)) {
        say("error cannot create queue");
        return 1;
    }
    say("ready");
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "send") {
            std::string to;
            unsigned long channel = 0;
            int synchronous = 0;
            words >> to >> channel >> synchronous;
            const std::string text = rest(words);
            const bool ok = link->send(
                to, channel, std::vector<signed char>(text.begin(), text.end()), synchronous != 0);
            say(ok ? "sent 1" : "sent 0");
        } else if (command == "recv" || command == "echo") {
            long milliseconds = 0;
            words >> milliseconds;
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
            bool found = false;
            do {
                std::vector<signed char> payload;
                std::string source;
                unsigned long channel = 0;
                bool synchronous = false;
                if (link->receive(payload, source, channel, synchronous)) {
                    say("frame " + source + " " + std::to_string(channel) + " " +
                        (synchronous ? "1" : "0") + " " +
                        std::string(payload.begin(), payload.end()));
                    if (command == "echo") {
                        link->send(source, channel, payload, true);
                    }
                    found = true;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } while (std::chrono::steady_clock::now() < deadline);
            if (!found) {
                say("none");
            }
        } else if (command == "rawrecv") {
            long milliseconds = 0;
            words >> milliseconds;
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
            boost::interprocess::message_queue queue(boost::interprocess::open_only,
                                                     link->getName(participant).c_str());
            std::vector<char> buffer(queue.get_max_msg_size());
            bool found = false;
            do {
                boost::interprocess::message_queue::size_type size = 0;
                unsigned int priority = 0;
                if (queue.try_receive(buffer.data(), buffer.size(), size, priority)) {
                    say("raw " + hex(buffer.data(), size));
                    found = true;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } while (std::chrono::steady_clock::now() < deadline);
            if (!found) {
                say("none");
            }
        } else if (command == "quit") {
            break;
        } else if (!command.empty()) {
            say("error unknown command");
        }
    }
    link->stop();
    return 0;
}

class Printer : public interprocess::IIpcControllerClient {
public:
    void onIpcClientConnected(const std::string& address) override { say("connected " + address); }
    void onIpcClientDisconnected(const std::string& address) override {
        say("disconnected " + address);
    }
    void onIpcClientMessageReceived(const helper::ApplicationType& application,
                                    const std::string& json) override {
        say("message " + std::to_string(static_cast<int>(application)) + " " + json);
    }
    void onIpcClientSynchronousMessageReceived(const helper::ApplicationType& application,
                                               const std::string& json) override {
        say("syncmessage " + std::to_string(static_cast<int>(application)) + " " + json);
    }
};

int runEndpoint(const std::string& prefix, const std::string& participant, bool connect) {
    auto scheduler = common::TaskScheduler::create(std::chrono::milliseconds(10),
                                                   common::ILogger::create("TaskScheduler"));
    auto controller = interprocess::IIpcController::create(
        participant, prefix, *scheduler, common::ILogger::create("IpcController"));
    Printer printer;
    controller->subscribe(&printer);
    if (!controller->start()) {
        say("error cannot start");
        return 1;
    }
    say("ready");
    if (connect) {
        controller->connectToService([](bool ok) { say(ok ? "connect 1" : "connect 0"); });
    }

    // Commands arrive on their own thread and run as tasks of the main loop.
    std::shared_ptr<common::ITaskQueue> commands = scheduler->getTaskQueue("Commands");
    common::ITaskQueue* commandQueue = commands.get();
    auto* controllerPointer = controller.get();
    auto* schedulerPointer = scheduler.get();
    std::thread reader([commandQueue, controllerPointer, schedulerPointer] {
        std::string line;
        bool quit = false;
        while (!quit && std::getline(std::cin, line)) {
            std::istringstream words(line);
            std::string command;
            words >> command;
            quit = command == "quit";
            int kind = 0;
            words >> kind;
            const std::string json = rest(words);
            commandQueue->push(
                [=](bool&, unsigned long) {
                    const auto application = static_cast<helper::ApplicationType>(kind);
                    if (command == "send") {
                        controllerPointer->send(application, json);
                    } else if (command == "sync") {
                        say(controllerPointer->synchronousSend(application, json)
                                ? "sync-result 1"
                                : "sync-result 0");
                    } else if (command == "quit") {
                        controllerPointer->stop();
                        schedulerPointer->quit();
                    }
                },
                std::chrono::milliseconds(0), common::ITaskQueue::Normal);
        }
        if (!quit) {
            // End of input: end as if asked to.
            commandQueue->push(
                [=](bool&, unsigned long) {
                    controllerPointer->stop();
                    schedulerPointer->quit();
                },
                std::chrono::milliseconds(0), common::ITaskQueue::Normal);
        }
    });
    scheduler->run({});
    reader.join();
    controller->unsubscribe(&printer);
    controller.reset();
    commands.reset();
    say("bye");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() < 3 || (arguments[0] != "raw" && arguments[0] != "endpoint")) {
        std::fprintf(stderr,
                     "usage: ipcpeer raw <prefix> <participant>\n"
                     "       ipcpeer endpoint <prefix> <participant> [connect]\n");
        return 2;
    }
    if (const char* level = std::getenv("IPCPEER_LOG")) {
        (void)level;
        common::Logger::init("ipcpeer", common::ILogger::Trace);
    }
    if (arguments[0] == "raw") {
        return runRaw(arguments[1], arguments[2]);
    }
    return runEndpoint(arguments[1], arguments[2],
                       arguments.size() > 3 && arguments[3] == "connect");
}
