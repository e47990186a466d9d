// Round trips (send one binary message, receive its echo) of 100-byte and 64 KiB messages
// against a local python3-websockets echo server: the library's WebSocket client through the
// polled service, next to a Boost.Beast client (the yardstick) against the same server.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/logging/Logging.h"
#include "foundation/network/AsyncSSLContext.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/AsyncWebSocket.h"
#include "foundation/network/INetworkConnectivity.h"
#include "platform/process/Process.h"
#include "testsupport/ServerProcess.h"

namespace {

// The echo server, started once for the whole run.
class EchoServer {
public:
    EchoServer()
        : m_Port(testsupport::freePort()),
          m_Server(std::vector<std::string>{"/usr/bin/python3", ORV_ECHO_SERVER,
                                            std::to_string(m_Port)}) {
        logging::Initialize(nullptr, false);
        logging::SetGlobalSeverityLevel(logging::Warning);
        if (!m_Server.waitForPort("127.0.0.1", m_Port)) {
            throw std::runtime_error("the echo server did not start");
        }
    }
    uint16_t Port() const { return m_Port; }

private:
    uint16_t m_Port;
    testsupport::ServerProcess m_Server;
};

EchoServer& Server() {
    static EchoServer server;
    return server;
}

void BM_AsyncWebSocketRoundTrip(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    auto service =
        std::make_shared<network::AsyncService>(network::AsyncService::Polled, "BenchService");
    auto ws = std::make_shared<network::AsyncWebSocket>(
        service, std::make_shared<network::AsyncSSLContext>(),
        network::INetworkConnectivity::Create());
    const auto poll = [&](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < end) {
            service->Poll();
        }
        return done();
    };
    std::optional<int> status;
    ws->Connect("ws://127.0.0.1:" + std::to_string(Server().Port()) + "/",
                [&](network::HTTPStatusCode code, std::unique_ptr<network::IHTTPResponse>) {
                    status = code;
                });
    bool greeted = false;
    if (!poll([&] { return status.has_value(); }) || *status != 101) {
        state.SkipWithError("connect failed");
        return;
    }
    ws->Receive(
        [&](network::ITCPSocket::ErrorCode, network::IWebSocket::Payload&&) { greeted = true; });
    poll([&] { return greeted; });
    const std::string message(size, 'm');
    for (auto _ : state) {
        bool echoed = false;
        ws->Send(network::IWebSocket::Payload(
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()),
                 [](network::ITCPSocket::ErrorCode) {});
        ws->Receive(
            [&](network::ITCPSocket::ErrorCode code, network::IWebSocket::Payload&& payload) {
                echoed = code == network::ITCPSocket::Success && payload.size() == size;
            });
        if (!poll([&] { return echoed; })) {
            state.SkipWithError("no echo");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * 2));
    bool closed = false;
    ws->Close([&] { closed = true; });
    poll([&] { return closed; });
}
BENCHMARK(BM_AsyncWebSocketRoundTrip)->Arg(100)->Arg(64 * 1024)->UseRealTime();

void BM_BeastRoundTrip(benchmark::State& state) {
    namespace beast = boost::beast;
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    boost::asio::io_context io;
    boost::asio::ip::tcp::resolver resolver(io);
    beast::websocket::stream<boost::asio::ip::tcp::socket> ws(io);
    try {
        const auto results = resolver.resolve("127.0.0.1", std::to_string(Server().Port()));
        boost::asio::connect(ws.next_layer(), results);
        // Without it the second write of a message waits on the peer's delayed ACK.
        ws.next_layer().set_option(boost::asio::ip::tcp::no_delay(true));
        ws.handshake("127.0.0.1:" + std::to_string(Server().Port()), "/");
        ws.binary(true);
        beast::flat_buffer greeting;
        ws.read(greeting);
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    const std::string message(size, 'm');
    beast::flat_buffer buffer;
    for (auto _ : state) {
        ws.write(boost::asio::buffer(message));
        buffer.clear();
        ws.read(buffer);
        if (buffer.size() != size) {
            state.SkipWithError("bad echo");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size * 2));
    boost::system::error_code ignored;
    ws.close(beast::websocket::close_code::normal, ignored);
}
BENCHMARK(BM_BeastRoundTrip)->Arg(100)->Arg(64 * 1024)->UseRealTime();

}  // namespace
