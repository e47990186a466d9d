#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ServicePolling.h"
#include "foundation/network/AsyncHTTPConnection.h"
#include "foundation/network/AsyncSSLContext.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/HTTPCookieStore.h"
#include "foundation/network/INetworkConnectivity.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestCertificates.h"

namespace networktest {

inline std::string ReadText(const boost::filesystem::path& file) {
    std::ifstream in(file.string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// nginx on a free loopback port (and a TLS port), serving `root`. `locations` is the text of
// extra location blocks for both servers; "@PORT@" and "@TLSPORT@" in it are replaced.
class NginxServer {
public:
    NginxServer(const testsupport::TempDir& folder, const std::string& locations,
                const testsupport::TestIdentity* tlsIdentity = nullptr)
        : m_Port(testsupport::freePort()), m_TlsPort(testsupport::freePort()) {
        const auto dir = folder / "nginx";
        boost::filesystem::create_directories(dir / "root");
        boost::filesystem::create_directories(dir / "tmp");
        m_Root = dir / "root";
        const std::string body = Replace(locations);
        std::string tls;
        if (tlsIdentity != nullptr) {
            testsupport::WriteFile(dir / "server.crt", tlsIdentity->CertificatePEM());
            testsupport::WriteFile(dir / "server.key", tlsIdentity->KeyPEM());
            tls = "  server {\n    listen 127.0.0.1:" + std::to_string(m_TlsPort) +
                  " ssl;\n    server_name localhost;\n    ssl_certificate " +
                  (dir / "server.crt").string() + ";\n    ssl_certificate_key " +
                  (dir / "server.key").string() + ";\n    root " + m_Root.string() + ";\n" + body +
                  "  }\n";
        }
        const std::string conf =
            std::string(::geteuid() == 0 ? "user root root;\n" : "") +
            "worker_processes 1;\nerror_log " + (dir / "error.log").string() +
            " info;\nevents { worker_connections 256; }\nhttp {\n  access_log " +
            (dir / "access.log").string() + ";\n  client_body_temp_path " + (dir / "tmp").string() +
            ";\n  proxy_temp_path " + (dir / "tmp").string() + ";\n  fastcgi_temp_path " +
            (dir / "tmp").string() + ";\n  uwsgi_temp_path " + (dir / "tmp").string() +
            ";\n  scgi_temp_path " + (dir / "tmp").string() +
            ";\n  default_type text/plain;\n  keepalive_requests 10000;\n"
            "  absolute_redirect off;\n"
            "  server {\n    listen 127.0.0.1:" +
            std::to_string(m_Port) + ";\n    server_name localhost;\n    root " + m_Root.string() +
            ";\n" + body + "  }\n" + tls + "}\n";
        testsupport::WriteFile(dir / "nginx.conf", conf);
        m_Process = std::make_unique<testsupport::ServerProcess>(
            std::vector<std::string>{"nginx", "-p", dir.string(), "-c",
                                     (dir / "nginx.conf").string(), "-g",
                                     "daemon off; pid " + (dir / "nginx.pid").string() + ";"},
            std::vector<std::string>{}, (dir / "stderr.log").string());
        m_Ready = m_Process->waitForPort("127.0.0.1", m_Port) &&
                  (tlsIdentity == nullptr || m_Process->waitForPort("127.0.0.1", m_TlsPort));
    }

    std::string Replace(std::string text) const {
        for (const auto& [key, value] :
             {std::make_pair(std::string("@PORT@"), std::to_string(m_Port)),
              std::make_pair(std::string("@TLSPORT@"), std::to_string(m_TlsPort)),
              std::make_pair(std::string("@ROOT@"), m_Root.string())}) {
            std::size_t at;
            while ((at = text.find(key)) != std::string::npos) {
                text.replace(at, key.size(), value);
            }
        }
        return text;
    }

    bool Ready() const { return m_Ready; }
    uint16_t Port() const { return m_Port; }
    uint16_t TlsPort() const { return m_TlsPort; }
    const boost::filesystem::path& Root() const { return m_Root; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_Port) + path;
    }
    std::string TlsUrl(const std::string& path) const {
        return "https://localhost:" + std::to_string(m_TlsPort) + path;
    }

private:
    uint16_t m_Port;
    uint16_t m_TlsPort;
    boost::filesystem::path m_Root;
    std::unique_ptr<testsupport::ServerProcess> m_Process;
    bool m_Ready = false;
};

// A raw TCP server (python) that answers each request it reads with the next scripted answer:
// the given bytes, then "keep" (wait for the next request), "close" or "hang" (send nothing
// more and never close). Every request head it read is appended to requests.log.
class ScriptedServer {
public:
    struct Answer {
        std::string bytes;
        std::string after = "keep";
    };

    ScriptedServer(const testsupport::TempDir& folder, const std::vector<Answer>& answers)
        : m_Port(testsupport::freePort()), m_Dir(folder / ("scripted" + std::to_string(m_Port))) {
        boost::filesystem::create_directories(m_Dir);
        for (std::size_t i = 0; i < answers.size(); ++i) {
            testsupport::WriteFile(m_Dir / ("answer" + std::to_string(i)),
                                   answers[i].after + "\n" + answers[i].bytes);
        }
        testsupport::WriteFile(m_Dir / "server.py", kScript);
        m_Process = std::make_unique<testsupport::ServerProcess>(
            std::vector<std::string>{"/usr/bin/python3", (m_Dir / "server.py").string(),
                                     std::to_string(m_Port), m_Dir.string(),
                                     std::to_string(answers.size())},
            std::vector<std::string>{}, (m_Dir / "server.log").string());
        m_Ready = m_Process->waitForPort("127.0.0.1", m_Port);
    }

    bool Ready() const { return m_Ready; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_Port) + path;
    }
    uint16_t Port() const { return m_Port; }
    std::string Requests() const { return ReadText(m_Dir / "requests.log"); }

private:
    static constexpr const char* kScript = R"PY(
import os, socket, sys, threading, time
port, folder, count = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
answers = []
for i in range(count):
    with open(os.path.join(folder, "answer%d" % i), "rb") as f:
        data = f.read()
    action, _, payload = data.partition(b"\n")
    answers.append((action.decode(), payload))
lock = threading.Lock()
state = {"next": 0}
def take():
    with lock:
        i = state["next"]
        state["next"] += 1
    return answers[i] if i < len(answers) else ("close", b"")
def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    while len(rest) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        rest += chunk
    with lock:
        with open(os.path.join(folder, "requests.log"), "ab") as f:
            f.write(head + b"\r\n\r\n" + rest + b"\n----\n")
    return head
def serve(conn):
    try:
        while True:
            if read_request(conn) is None:
                return
            action, payload = take()
            conn.sendall(payload)
            if action == "close":
                return
            if action == "hang":
                time.sleep(3600)
    finally:
        conn.close()
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", port))
server.listen(16)
while True:
    conn, _ = server.accept()
    threading.Thread(target=serve, args=(conn,), daemon=True).start()
)PY";

    uint16_t m_Port;
    boost::filesystem::path m_Dir;
    std::unique_ptr<testsupport::ServerProcess> m_Process;
    bool m_Ready = false;
};

struct HTTPResult {
    bool done = false;
    int status = -1;
    std::unique_ptr<network::IHTTPResponse> response;
    std::string body;
    std::string Header(const std::string& name) const {
        return response ? response->GetHeader(name) : std::string();
    }
};

// A system root in a temporary folder, a polled service, a TLS context, connectivity and
// cookie store, and helpers to run exchanges to completion.
class HTTPFixture : public ::testing::Test {
protected:
    HTTPFixture() : m_RootEnv("ORV_SYSTEM_ROOT", m_Root.path().string()) {}
    // Closes still on their way (a pool closes its idle connections when it goes) hold the
    // service through their sockets: end the service so that they are dropped.
    ~HTTPFixture() override { m_Service->Terminate(); }

    void InstallRootAnchor(const testsupport::TestIdentity& anchor) {
        testsupport::WriteFile(m_Root / "Library/Keychains/SystemRootCertificates.pem",
                               anchor.CertificatePEM());
    }
    // nginx serving `locations` on plain HTTP and on TLS as "localhost", with a certificate
    // from a test authority that is installed as the trusted root.
    std::unique_ptr<NginxServer> StartTrustedNginx(const std::string& locations) {
        testsupport::CertificateSpec authority;
        authority.commonName = "Test Root";
        authority.certificateAuthority = true;
        const auto root = testsupport::MakeIdentity(authority, nullptr);
        testsupport::CertificateSpec server;
        server.commonName = "localhost";
        server.dnsNames = {"localhost"};
        const auto identity = testsupport::MakeIdentity(server, &root);
        InstallRootAnchor(root);
        return std::make_unique<NginxServer>(m_Root, locations, &identity);
    }
    std::shared_ptr<network::AsyncSSLContext> Context() {
        if (!m_Context) {
            m_Context = std::make_shared<network::AsyncSSLContext>();
        }
        return m_Context;
    }
    std::shared_ptr<network::INetworkConnectivity> Connectivity() {
        if (!m_Connectivity) {
            m_Connectivity = network::INetworkConnectivity::Create();
        }
        return m_Connectivity;
    }
    std::shared_ptr<network::AsyncHTTPConnection> MakeConnection() {
        auto connection = std::make_shared<network::AsyncHTTPConnection>(m_Service, Context(),
                                                                         Connectivity(), m_Cookies);
        connection->SetKeepAlive(true);
        connection->SetTCPKeepAlive(true);
        return connection;
    }

    bool Poll(const std::function<bool()>& done,
              std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        return PollUntil(*m_Service, done, limit);
    }

    // Submits and polls until the callback ran.
    HTTPResult Run(network::IHTTPConnection& connection, const std::string& url,
                   std::unique_ptr<network::IHTTPRequest> request = nullptr) {
        auto result = std::make_shared<HTTPResult>();
        if (!request) {
            request = connection.CreateRequest();
        }
        connection.SubmitRequest(url, std::move(request),
                                 [result](network::HTTPStatusCode status,
                                          std::unique_ptr<network::IHTTPResponse> response) {
                                     EXPECT_FALSE(result->done) << "callback called twice";
                                     result->done = true;
                                     result->status = static_cast<int>(status);
                                     if (response) {
                                         const auto body = response->FetchBody();
                                         result->body.assign(body.begin(), body.end());
                                     }
                                     result->response = std::move(response);
                                 });
        EXPECT_TRUE(Poll([&] { return result->done; })) << url;
        return std::move(*result);
    }

    testsupport::TempDir m_Root;
    testsupport::ScopedEnv m_RootEnv;
    std::shared_ptr<network::AsyncService> m_Service =
        std::make_shared<network::AsyncService>(network::AsyncService::Polled, "HTTPTest");
    std::shared_ptr<network::AsyncSSLContext> m_Context;
    std::shared_ptr<network::INetworkConnectivity> m_Connectivity;
    std::shared_ptr<network::HTTPCookieStore> m_Cookies =
        std::make_shared<network::HTTPCookieStore>();
};

}  // namespace networktest
