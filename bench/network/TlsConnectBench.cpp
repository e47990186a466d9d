// TCP connect + TLS handshake (+ close) to a local `openssl s_server` through the polled
// asynchronous service, next to `curl` against the same server. For curl the time is its own
// `time_appconnect` (connect and handshake, without the process start), so both rows measure
// the same work.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/logging/Logging.h"
#include "foundation/network/AsyncSSLContext.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/INetworkConnectivity.h"
#include "platform/process/Process.h"
#include "testsupport/ServerProcess.h"

namespace {

namespace fs = boost::filesystem;

// A self-signed certificate for localhost installed as the system root anchor under a
// temporary system root, and an s_server that presents it.
class Peer {
public:
    Peer() : m_Folder(fs::temp_directory_path() / fs::unique_path("bench-network-%%%%%%%%")) {
        logging::Initialize(nullptr, false);
        logging::SetGlobalSeverityLevel(logging::Warning);
        fs::create_directories(m_Folder / "Library/Keychains");
        const std::string certificate = (m_Folder / "server.crt").string();
        const std::string key = (m_Folder / "server.key").string();
        const auto made = standin::Process::run(
            "openssl",
            {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
             "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
             "-days", "2", "-keyout", key, "-out", certificate},
            standin::Process::Options{true});
        if (!made.succeeded()) {
            throw std::runtime_error("openssl req failed");
        }
        fs::copy_file(certificate, m_Folder / "Library/Keychains/SystemRootCertificates.pem");
        ::setenv("ORV_SYSTEM_ROOT", m_Folder.c_str(), 1);

        m_Port = testsupport::freePort();
        m_Server = std::make_unique<testsupport::ServerProcess>(std::vector<std::string>{
            "openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(m_Port), "-cert",
            certificate, "-key", key, "-www", "-quiet"});
        if (!m_Server->waitForPort("127.0.0.1", m_Port)) {
            throw std::runtime_error("openssl s_server did not start");
        }
    }
    ~Peer() {
        m_Server.reset();
        boost::system::error_code ignored;
        fs::remove_all(m_Folder, ignored);
    }
    uint16_t Port() const { return m_Port; }
    std::string CertificateFile() const { return (m_Folder / "server.crt").string(); }

private:
    fs::path m_Folder;
    uint16_t m_Port = 0;
    std::unique_ptr<testsupport::ServerProcess> m_Server;
};

Peer& SharedPeer() {
    static Peer peer;
    return peer;
}

void BM_PolledServiceConnectAndHandshake(benchmark::State& state) {
    Peer& peer = SharedPeer();
    auto service =
        std::make_shared<network::AsyncService>(network::AsyncService::Polled, "BenchService");
    auto context = std::make_shared<network::AsyncSSLContext>();
    auto connectivity = network::INetworkConnectivity::Create();
    const auto poll = [&](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done() && std::chrono::steady_clock::now() < end) {
            service->Poll();
        }
        return done();
    };
    for (auto _ : state) {
        auto socket = std::make_shared<network::AsyncTCPSocket>(service, context, connectivity);
        std::optional<network::ITCPSocket::ErrorCode> connected;
        socket->AsyncConnect("localhost", peer.Port(), true,
                             [&](network::ITCPSocket::ErrorCode code) { connected = code; });
        if (!poll([&] { return connected.has_value(); }) ||
            *connected != network::ITCPSocket::Success) {
            state.SkipWithError("connect failed");
            break;
        }
        state.PauseTiming();
        bool closed = false;
        socket->AsyncClose([&](network::ITCPSocket::ErrorCode) { closed = true; });
        poll([&] { return closed; });
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PolledServiceConnectAndHandshake)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CurlConnectAndHandshake(benchmark::State& state) {
    Peer& peer = SharedPeer();
    const std::string url = "https://localhost:" + std::to_string(peer.Port()) + "/";
    for (auto _ : state) {
        const auto result =
            standin::Process::run("curl",
                                  {"-s", "-o", "/dev/null", "--cacert", peer.CertificateFile(),
                                   "-w", "%{time_appconnect}", url},
                                  standin::Process::Options{true});
        if (!result.succeeded()) {
            state.SkipWithError("curl failed");
            break;
        }
        state.SetIterationTime(std::stod(result.output));
    }
}
BENCHMARK(BM_CurlConnectAndHandshake)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
