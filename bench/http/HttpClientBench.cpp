// The HTTP client against a local nginx, next to `curl` in the same run: a 256 MiB download,
// 2,000 GETs on one keep-alive connection, and the peak resident memory of a download against
// the body size (the body is held in memory, so the peak should stay near one body).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <chrono>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/logging/Logging.h"
#include "foundation/network/AsyncHTTPConnection.h"
#include "foundation/network/AsyncSSLContext.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/HTTPCookieStore.h"
#include "foundation/network/INetworkConnectivity.h"
#include "platform/process/Process.h"
#include "testsupport/ServerProcess.h"

namespace {

namespace fs = boost::filesystem;

constexpr std::size_t kMiB = 1024 * 1024;

void WriteFile(const fs::path& file, std::size_t size) {
    std::ofstream out(file.string(), std::ios::binary);
    std::string block(kMiB, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 131);
    }
    for (std::size_t written = 0; written < size; written += block.size()) {
        out.write(block.data(),
                  static_cast<std::streamsize>(std::min(block.size(), size - written)));
    }
}

// nginx in a temporary folder serving files of 16, 64 and 256 MiB and a small answer.
class Nginx {
public:
    Nginx() : m_Folder(fs::temp_directory_path() / fs::unique_path("bench-http-%%%%%%%%")) {
        logging::Initialize(nullptr, false);
        logging::SetGlobalSeverityLevel(logging::Warning);
        fs::create_directories(m_Folder / "root");
        fs::create_directories(m_Folder / "tmp");
        ::setenv("ORV_SYSTEM_ROOT", m_Folder.c_str(), 1);
        for (const std::size_t mib : {16, 64, 256}) {
            WriteFile(m_Folder / "root" / (std::to_string(mib) + ".bin"), mib * kMiB);
        }
        m_Port = testsupport::freePort();
        const std::string tmp = (m_Folder / "tmp").string();
        std::ofstream conf((m_Folder / "nginx.conf").string());
        conf << (::geteuid() == 0 ? "user root root;\n" : "") << "worker_processes 1;\n"
             << "error_log " << (m_Folder / "error.log").string() << ";\n"
             << "events { worker_connections 64; }\nhttp {\n  access_log off;\n"
             << "  client_body_temp_path " << tmp << ";\n  proxy_temp_path " << tmp << ";\n"
             << "  fastcgi_temp_path " << tmp << ";\n  uwsgi_temp_path " << tmp << ";\n"
             << "  scgi_temp_path " << tmp << ";\n  keepalive_requests 100000;\n"
             << "  server {\n    listen 127.0.0.1:" << m_Port << ";\n    root "
             << (m_Folder / "root").string() << ";\n"
             << "    location = /small { return 200 \"small answer\"; }\n  }\n}\n";
        conf.close();
        m_Server = std::make_unique<testsupport::ServerProcess>(std::vector<std::string>{
            "nginx", "-p", m_Folder.string(), "-c", (m_Folder / "nginx.conf").string(), "-g",
            "daemon off; pid " + (m_Folder / "nginx.pid").string() + ";"});
        if (!m_Server->waitForPort("127.0.0.1", m_Port)) {
            throw std::runtime_error("nginx did not start");
        }
    }
    ~Nginx() {
        m_Server.reset();
        boost::system::error_code ignored;
        fs::remove_all(m_Folder, ignored);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_Port) + path;
    }
    const fs::path& Folder() const { return m_Folder; }

private:
    fs::path m_Folder;
    uint16_t m_Port = 0;
    std::unique_ptr<testsupport::ServerProcess> m_Server;
};

Nginx& SharedNginx() {
    static Nginx nginx;
    return nginx;
}

struct Client {
    std::shared_ptr<network::AsyncService> service =
        std::make_shared<network::AsyncService>(network::AsyncService::Polled, "BenchHTTP");
    std::shared_ptr<network::AsyncHTTPConnection> connection =
        std::make_shared<network::AsyncHTTPConnection>(
            service, std::make_shared<network::AsyncSSLContext>(),
            network::INetworkConnectivity::Create(), std::make_shared<network::HTTPCookieStore>());
    Client() { connection->SetKeepAlive(true); }
    ~Client() { service->Terminate(); }

    // One GET polled to completion; the size of the body, or -1.
    long long Get(const std::string& url) {
        bool done = false;
        long long size = -1;
        connection->Submit(url, [&](network::HTTPStatusCode status,
                                    std::unique_ptr<network::IHTTPResponse> response) {
            done = true;
            if (status == 200 && response) {
                size = static_cast<long long>(response->FetchBody().size());
            }
        });
        while (!done) {
            if (service->Poll() == 0) {
                std::this_thread::yield();
            }
        }
        return size;
    }
};

long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_Download256MiB_Client(benchmark::State& state) {
    Nginx& nginx = SharedNginx();
    Client client;
    for (auto _ : state) {
        if (client.Get(nginx.Url("/256.bin")) != static_cast<long long>(256 * kMiB)) {
            state.SkipWithError("download failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 256 * kMiB));
}
BENCHMARK(BM_Download256MiB_Client)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Download256MiB_Curl(benchmark::State& state) {
    Nginx& nginx = SharedNginx();
    for (auto _ : state) {
        const auto result =
            standin::Process::run("curl", {"-s", "-f", "-o", "/dev/null", nginx.Url("/256.bin")});
        if (!result.succeeded()) {
            state.SkipWithError("curl failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 256 * kMiB));
}
BENCHMARK(BM_Download256MiB_Curl)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_KeepAliveGets2000_Client(benchmark::State& state) {
    Nginx& nginx = SharedNginx();
    Client client;
    const std::string url = nginx.Url("/small");
    for (auto _ : state) {
        for (int i = 0; i < 2000; ++i) {
            if (client.Get(url) != 12) {
                state.SkipWithError("GET failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 2000));
}
BENCHMARK(BM_KeepAliveGets2000_Client)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_KeepAliveGets2000_Curl(benchmark::State& state) {
    Nginx& nginx = SharedNginx();
    const fs::path config = nginx.Folder() / "curl-2000.conf";
    {
        std::ofstream out(config.string());
        for (int i = 0; i < 2000; ++i) {
            out << "url = \"" << nginx.Url("/small") << "\"\noutput = \"/dev/null\"\n";
        }
    }
    for (auto _ : state) {
        const auto result = standin::Process::run("curl", {"-s", "-f", "-K", config.string()});
        if (!result.succeeded()) {
            state.SkipWithError("curl failed");
            return;
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 2000));
}
BENCHMARK(BM_KeepAliveGets2000_Curl)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Peak resident memory during one download, against the body size.
void BM_DownloadPeakMemory(benchmark::State& state) {
    Nginx& nginx = SharedNginx();
    const long long mib = state.range(0);
    double peakMiB = 0;
    for (auto _ : state) {
        Client client;
        ResetPeakRss();
        const long before = PeakRssKiB();
        if (client.Get(nginx.Url("/" + std::to_string(mib) + ".bin")) !=
            mib * static_cast<long long>(kMiB)) {
            state.SkipWithError("download failed");
            return;
        }
        peakMiB = static_cast<double>(PeakRssKiB() - before) / 1024.0;
    }
    state.counters["body_MiB"] = static_cast<double>(mib);
    state.counters["peak_rss_growth_MiB"] = peakMiB;
    state.counters["peak_per_body"] = peakMiB / static_cast<double>(mib);
}
BENCHMARK(BM_DownloadPeakMemory)
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
