#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LogRecorder.h"
#include "ServicePolling.h"
#include "foundation/network/AsyncSSLContext.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/INetworkConnectivity.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestCertificates.h"

namespace networktest {

using network::AsyncTCPSocket;
using network::CBYTESubBuffer;
using network::ITCPSocket;

inline CBYTESubBuffer Payload(const std::string& text) {
    return CBYTESubBuffer(
        CBYTESubBuffer::Buffer(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

inline std::string TextOf(const CBYTESubBuffer& view) {
    return view.GetBuffer() == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(view.GetBuffer()),
                             static_cast<std::size_t>(view.GetLength()));
}

// A system root in a temporary folder, a polled service and the connectivity of the platform.
class SocketFixture : public ::testing::Test {
protected:
    SocketFixture() : m_RootEnv("ORV_SYSTEM_ROOT", m_Root.path().string()) {}

    // The TLS context reads the anchors when it is made: install them first.
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
    std::shared_ptr<AsyncTCPSocket> MakeSocket() {
        return std::make_shared<AsyncTCPSocket>(m_Service, Context(), Connectivity());
    }

    void InstallRootAnchor(const testsupport::TestIdentity& anchor) {
        testsupport::WriteFile(m_Root / "Library/Keychains/SystemRootCertificates.pem",
                               anchor.CertificatePEM());
    }

    bool Poll(const std::function<bool()>& done,
              std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        return PollUntil(*m_Service, done, limit);
    }

    std::optional<ITCPSocket::ErrorCode> Connect(const std::shared_ptr<AsyncTCPSocket>& socket,
                                                 const std::string& host, uint16_t port,
                                                 bool secure) {
        std::optional<ITCPSocket::ErrorCode> result;
        socket->AsyncConnect(host, port, secure,
                             [&result](ITCPSocket::ErrorCode code) { result = code; });
        Poll([&] { return result.has_value(); });
        return result;
    }

    std::optional<ITCPSocket::ErrorCode> Close(const std::shared_ptr<AsyncTCPSocket>& socket) {
        std::optional<ITCPSocket::ErrorCode> result;
        socket->AsyncClose([&result](ITCPSocket::ErrorCode code) { result = code; });
        Poll([&] { return result.has_value(); });
        return result;
    }

    testsupport::TempDir m_Root;
    testsupport::ScopedEnv m_RootEnv;
    ScopedLogRecorder m_Log;
    std::shared_ptr<network::AsyncService> m_Service =
        std::make_shared<network::AsyncService>(network::AsyncService::Polled, "SocketTest");
    std::shared_ptr<network::AsyncSSLContext> m_Context;
    std::shared_ptr<network::INetworkConnectivity> m_Connectivity;
};

// openssl s_server on a free loopback port with the given identity (and chain), answering
// HTTP requests with its status page.
class TlsServer {
public:
    TlsServer(const testsupport::TempDir& folder, const std::string& name,
              const testsupport::TestIdentity& identity,
              const std::vector<const testsupport::TestIdentity*>& chain = {})
        : m_Port(testsupport::freePort()) {
        const auto certificate = folder / (name + ".crt");
        const auto key = folder / (name + ".key");
        testsupport::WriteFile(certificate, identity.CertificatePEM());
        testsupport::WriteFile(key, identity.KeyPEM());
        std::vector<std::string> argv = {"openssl", "s_server",
                                         "-accept", "127.0.0.1:" + std::to_string(m_Port),
                                         "-cert",   certificate.string(),
                                         "-key",    key.string(),
                                         "-www",    "-quiet"};
        if (!chain.empty()) {
            std::string pem;
            for (const auto* link : chain) {
                pem += link->CertificatePEM();
            }
            const auto chainFile = folder / (name + "-chain.pem");
            testsupport::WriteFile(chainFile, pem);
            argv.push_back("-cert_chain");
            argv.push_back(chainFile.string());
        }
        m_Process = std::make_unique<testsupport::ServerProcess>(
            argv, std::vector<std::string>{}, (folder / (name + ".log")).string());
        m_Ready = m_Process->waitForPort("127.0.0.1", m_Port);
    }

    uint16_t Port() const { return m_Port; }
    bool Ready() const { return m_Ready; }

private:
    uint16_t m_Port;
    std::unique_ptr<testsupport::ServerProcess> m_Process;
    bool m_Ready = false;
};

}  // namespace networktest
