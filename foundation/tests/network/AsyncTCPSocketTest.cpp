#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include "SocketFixture.h"
#include "TestPeers.h"

using namespace networktest;

namespace {

std::string PeerScript(const std::string& name) {
    return (boost::filesystem::path(__FILE__).parent_path() / "peers" / name).string();
}

struct SendResult {
    std::string label;
    ITCPSocket::ErrorCode code;
    uint64_t bytes;
};

class AsyncTCPSocketTest : public SocketFixture {
protected:
    // Queues a send whose completion is recorded under `label`.
    void Send(const std::shared_ptr<AsyncTCPSocket>& socket, const std::string& label,
              const std::string& text, bool priority = true) {
        socket->AsyncPrioritySend(Payload(text), priority,
                                  [this, label](ITCPSocket::ErrorCode code, uint64_t bytes) {
                                      m_Sent.push_back({label, code, bytes});
                                  });
    }
    std::vector<std::string> SentLabels() const {
        std::vector<std::string> labels;
        for (const auto& sent : m_Sent) {
            labels.push_back(sent.label);
        }
        return labels;
    }

    std::vector<SendResult> m_Sent;
};

}  // namespace

TEST_F(AsyncTCPSocketTest, EmptyReceiveAndEmptySendCompleteAtOnce) {
    TcpPeer peer(TcpPeer::Sink);
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", peer.Port(), false), ITCPSocket::Success);
    EXPECT_TRUE(socket->IsConnected());
    EXPECT_EQ(socket->GetActiveEndpoint(), (network::Endpoint{"127.0.0.1", peer.Port()}));

    std::optional<ITCPSocket::ErrorCode> received;
    uint64_t receivedLength = 99;
    socket->AsyncReceive(0, [&](ITCPSocket::ErrorCode code, CBYTESubBuffer&& buffer) {
        received = code;
        receivedLength = buffer.GetLength();
    });
    Send(socket, "empty", "");
    ASSERT_TRUE(Poll([&] { return received.has_value() && m_Sent.size() == 1; }));
    EXPECT_EQ(*received, ITCPSocket::Success);
    EXPECT_EQ(receivedLength, 0u);
    EXPECT_EQ(m_Sent[0].code, ITCPSocket::Success);
    EXPECT_EQ(m_Sent[0].bytes, 0u);
    EXPECT_FALSE(m_Log->Has("HostResolver", logging::Debug, "Resolving address"))
        << "an address literal is not resolved";
}

TEST_F(AsyncTCPSocketTest, NamesAreResolvedAndUnknownNamesFail) {
    TcpPeer peer(TcpPeer::Sink);
    auto socket = MakeSocket();
    EXPECT_EQ(Connect(socket, "localhost", peer.Port(), false), ITCPSocket::Success);
    EXPECT_TRUE(m_Log->Has("HostResolver", logging::Debug, "Resolving address localhost"));

    auto other = MakeSocket();
    EXPECT_EQ(Connect(other, "no_such_host!", 80, false), ITCPSocket::ResolutionFailure);
}

TEST_F(AsyncTCPSocketTest, RefusedPeerGivesConnectionFailure) {
    const uint16_t port = testsupport::freePort();
    auto socket = MakeSocket();
    EXPECT_EQ(Connect(socket, "127.0.0.1", port, false), ITCPSocket::ConnectionFailure);
    EXPECT_TRUE(m_Log->Has("AsyncTCPSocket", logging::Error,
                           "TCP connection failed when connecting to <127.0.0.1:" +
                               std::to_string(port) + ">; reason: "));
    EXPECT_FALSE(socket->IsConnected());
}

TEST_F(AsyncTCPSocketTest, ConnectToAnUnansweringPeerHasADeadline) {
    Listener listener(0);
    listener.FillBacklog();
    auto socket = MakeSocket();
    socket->SetTimeout(300);
    EXPECT_EQ(Connect(socket, "127.0.0.1", listener.Port(), false), ITCPSocket::ConnectionFailure);
    const auto lines = m_Log->Find("AsyncTCPSocket", logging::Error,
                                   "TCP connection failed when connecting to <127.0.0.1:");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("timed out"), std::string::npos) << lines[0];
    listener.CloseFillers();
}

TEST_F(AsyncTCPSocketTest, HandshakeWithASilentPeerHasADeadline) {
    Listener listener;  // the system completes the TCP handshake; nobody speaks TLS
    auto socket = MakeSocket();
    socket->SetTimeout(300);
    EXPECT_EQ(Connect(socket, "127.0.0.1", listener.Port(), true),
              ITCPSocket::SecureHandshakeFailure);
    const auto lines = m_Log->Find("AsyncTCPSocket", logging::Error,
                                   "SSL handshake failed when connecting to <127.0.0.1:");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("timed out"), std::string::npos) << lines[0];
    EXPECT_FALSE(socket->IsConnected());
}

TEST_F(AsyncTCPSocketTest, SendQueueOrdersByPriorityThenArrival) {
    TcpPeer peer(TcpPeer::Sink);
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", peer.Port(), false), ITCPSocket::Success);
    // All five are handed over before the service runs: the first is written at once, the
    // others wait for it.
    Send(socket, "1", "1");
    Send(socket, "a", "a", false);
    Send(socket, "b", "b", true);
    Send(socket, "c", "c", true);
    Send(socket, "d", "d", false);
    ASSERT_TRUE(Poll([&] { return m_Sent.size() == 5; }));
    EXPECT_EQ(SentLabels(), (std::vector<std::string>{"1", "b", "c", "a", "d"}));
    for (const auto& sent : m_Sent) {
        EXPECT_EQ(sent.code, ITCPSocket::Success);
        EXPECT_EQ(sent.bytes, 1u);
    }
    ASSERT_TRUE(Poll([&] { return peer.Received().size() == 5; }));
    EXPECT_EQ(peer.Received(), "1bcad");
}

TEST_F(AsyncTCPSocketTest, AWriteFailureFailsTheQueuedSendsToo) {
    TcpPeer peer(TcpPeer::Reset);
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", peer.Port(), false), ITCPSocket::Success);
    peer.ResetConnection();
    std::optional<ITCPSocket::ErrorCode> received;
    socket->AsyncReceive(1, [&](ITCPSocket::ErrorCode code, CBYTESubBuffer&&) { received = code; });
    ASSERT_TRUE(Poll([&] { return received.has_value(); }));
    EXPECT_EQ(*received, ITCPSocket::ReadFailure);
    EXPECT_TRUE(m_Log->Has("AsyncTCPSocket", logging::Error, "TCP read error; reason: "));

    Send(socket, "first", "x");
    Send(socket, "queued", "y");
    Send(socket, "queued too", "z", false);
    ASSERT_TRUE(Poll([&] { return m_Sent.size() == 3; }));
    EXPECT_EQ(SentLabels(), (std::vector<std::string>{"first", "queued", "queued too"}));
    for (const auto& sent : m_Sent) {
        EXPECT_EQ(sent.code, ITCPSocket::WriteFailure) << sent.label;
    }
    EXPECT_TRUE(m_Log->Has("AsyncTCPSocket", logging::Error, "TCP write error; reason: "));
    EXPECT_TRUE(socket->IsConnected()) << "only a close changes the flags";
}

TEST_F(AsyncTCPSocketTest, CloseCompletesTheWriteInFlightAndTheQueuedSends) {
    TcpPeer peer(TcpPeer::Hold);  // never reads: a large write stays in flight
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", peer.Port(), false), ITCPSocket::Success);
    Send(socket, "large", std::string(64 * 1024 * 1024, 'x'));
    Send(socket, "queued", "y");
    Poll([] { return false; }, std::chrono::milliseconds(50));
    ASSERT_TRUE(m_Sent.empty());

    auto closed = Close(socket);
    ASSERT_EQ(closed, ITCPSocket::Success);
    ASSERT_TRUE(Poll([&] { return m_Sent.size() == 2; }));
    for (const auto& sent : m_Sent) {
        EXPECT_EQ(sent.code, ITCPSocket::OperationCancelled) << sent.label;
    }
    EXPECT_FALSE(socket->IsConnected());
}

TEST_F(AsyncTCPSocketTest, CloseWithAPendingReceiveWithoutTls) {
    TcpPeer peer(TcpPeer::Sink);
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", peer.Port(), false), ITCPSocket::Success);
    std::vector<std::string> order;
    socket->AsyncReceive(10, [&](ITCPSocket::ErrorCode code, CBYTESubBuffer&& buffer) {
        order.push_back("receive " + std::to_string(code));
        EXPECT_EQ(buffer.GetLength(), 0u);
    });
    Poll([] { return false; }, std::chrono::milliseconds(20));
    socket->AsyncClose(
        [&](ITCPSocket::ErrorCode code) { order.push_back("close " + std::to_string(code)); });
    // A second close gets its own completion.
    socket->AsyncClose([&](ITCPSocket::ErrorCode code) {
        order.push_back("close again " + std::to_string(code));
    });
    ASSERT_TRUE(Poll([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"close 0", "close again 0", "receive 9"}));
    EXPECT_FALSE(socket->IsConnected());
    EXPECT_TRUE(Poll([&] { return peer.Closed(); }));
}

TEST_F(AsyncTCPSocketTest, CloseOfANeverConnectedSocket) {
    auto socket = MakeSocket();
    EXPECT_EQ(Close(socket), ITCPSocket::Success);
    EXPECT_EQ(Close(socket), ITCPSocket::Success);
}

TEST_F(AsyncTCPSocketTest, UnreachableNetworkTouchesNoSocket) {
    TcpPeer peer(TcpPeer::Sink);
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", peer.Port(), false), ITCPSocket::Success);
    testsupport::WriteFile(m_Root / "var/run/network-unreachable", "");

    std::optional<ITCPSocket::ErrorCode> connected;
    auto fresh = MakeSocket();
    fresh->AsyncConnect("127.0.0.1", peer.Port(), false,
                        [&](ITCPSocket::ErrorCode code) { connected = code; });
    ASSERT_TRUE(connected.has_value()) << "reported before the call returns";
    EXPECT_EQ(*connected, ITCPSocket::NetworkUnreachable);
    EXPECT_FALSE(fresh->IsConnected());

    std::optional<ITCPSocket::ErrorCode> received;
    socket->AsyncReceive(4, [&](ITCPSocket::ErrorCode code, CBYTESubBuffer&&) { received = code; });
    Send(socket, "send", "data");
    ASSERT_TRUE(Poll([&] { return received.has_value() && m_Sent.size() == 1; }));
    EXPECT_EQ(*received, ITCPSocket::NetworkUnreachable);
    EXPECT_EQ(m_Sent[0].code, ITCPSocket::NetworkUnreachable);
    EXPECT_EQ(m_Sent[0].bytes, 0u);
    EXPECT_EQ(peer.Received(), "");
}

TEST_F(AsyncTCPSocketTest, SlowPeerIsReadUntilTheLengthIsComplete) {
    const uint16_t port = testsupport::freePort();
    testsupport::ServerProcess server(
        {"/usr/bin/python3", PeerScript("slow_peer.py"), std::to_string(port)});
    ASSERT_TRUE(server.waitForPort("127.0.0.1", port));
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", port, false), ITCPSocket::Success);

    std::optional<ITCPSocket::ErrorCode> code;
    std::string text;
    socket->AsyncReceive(10, [&](ITCPSocket::ErrorCode c, CBYTESubBuffer&& buffer) {
        code = c;
        text = TextOf(buffer);
    });
    ASSERT_TRUE(Poll([&] { return code.has_value(); }));
    EXPECT_EQ(*code, ITCPSocket::Success);
    EXPECT_EQ(text, "0123456789");

    // The peer closes after ten bytes: a further receive is a read failure.
    code.reset();
    socket->AsyncReceive(5, [&](ITCPSocket::ErrorCode c, CBYTESubBuffer&& buffer) {
        code = c;
        text = TextOf(buffer);
    });
    ASSERT_TRUE(Poll([&] { return code.has_value(); }));
    EXPECT_EQ(*code, ITCPSocket::ReadFailure);
    EXPECT_EQ(text, "");
}

TEST_F(AsyncTCPSocketTest, ForceCloseSignalClosesTheSocket) {
    TcpPeer peer(TcpPeer::Sink);
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "127.0.0.1", peer.Port(), false), ITCPSocket::Success);
    std::optional<ITCPSocket::ErrorCode> received;
    socket->AsyncReceive(4, [&](ITCPSocket::ErrorCode code, CBYTESubBuffer&&) { received = code; });
    Poll([] { return false; }, std::chrono::milliseconds(20));
    Connectivity()->GetSocketSignals().forceCloseSockets();
    ASSERT_TRUE(Poll([&] { return received.has_value(); }));
    EXPECT_EQ(*received, ITCPSocket::OperationCancelled);
    EXPECT_FALSE(socket->IsConnected());
}

TEST_F(AsyncTCPSocketTest, SocketStaysAliveWhileAnOperationIsPending) {
    TcpPeer peer(TcpPeer::Sink);
    std::weak_ptr<AsyncTCPSocket> watch;
    std::optional<ITCPSocket::ErrorCode> code;
    {
        auto socket = MakeSocket();
        watch = socket;
        socket->AsyncConnect("127.0.0.1", peer.Port(), false,
                             [&](ITCPSocket::ErrorCode c) { code = c; });
    }
    EXPECT_FALSE(watch.expired());
    ASSERT_TRUE(Poll([&] { return code.has_value(); }));
    EXPECT_EQ(*code, ITCPSocket::Success);
    Poll([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_TRUE(watch.expired());
}

// ---- TLS ----

namespace {

class AsyncTLSSocketTest : public AsyncTCPSocketTest {
protected:
    void SetUp() override { InstallRootAnchor(root); }

    testsupport::TestIdentity root =
        testsupport::MakeIdentity({"Socket Test Root", {}, {}, -86400, 86400, true}, nullptr);
    testsupport::TestIdentity leaf = testsupport::MakeIdentity(
        {"localhost", {"localhost"}, {"127.0.0.1"}, -3600, 86400, false}, &root);
};

}  // namespace

TEST_F(AsyncTLSSocketTest, ExchangesDataAndReconnectsWithAFreshEngine) {
    TlsServer server(m_Root, "tls", leaf);
    ASSERT_TRUE(server.Ready());
    auto socket = MakeSocket();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(Connect(socket, "localhost", server.Port(), true), ITCPSocket::Success);
        EXPECT_TRUE(socket->IsSecureHandshakeComplete());
        Send(socket, "get", "GET / HTTP/1.0\r\n\r\n");
        std::optional<ITCPSocket::ErrorCode> code;
        std::string text;
        socket->AsyncReceive(8, [&](ITCPSocket::ErrorCode c, CBYTESubBuffer&& buffer) {
            code = c;
            text = TextOf(buffer);
        });
        ASSERT_TRUE(Poll([&] { return code.has_value(); }));
        EXPECT_EQ(*code, ITCPSocket::Success);
        EXPECT_EQ(text, "HTTP/1.0");
        EXPECT_EQ(Close(socket), ITCPSocket::Success);
        EXPECT_FALSE(socket->IsSecureHandshakeComplete());
    }
}

TEST_F(AsyncTLSSocketTest, CloseWithAPendingReceiveReportsTheReceiveFirst) {
    TlsServer server(m_Root, "tls", leaf);
    ASSERT_TRUE(server.Ready());
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "localhost", server.Port(), true), ITCPSocket::Success);
    std::vector<std::string> order;
    socket->AsyncReceive(10, [&](ITCPSocket::ErrorCode code, CBYTESubBuffer&&) {
        order.push_back("receive " + std::to_string(code));
    });
    Poll([] { return false; }, std::chrono::milliseconds(20));
    socket->AsyncClose(
        [&](ITCPSocket::ErrorCode code) { order.push_back("close " + std::to_string(code)); });
    ASSERT_TRUE(Poll([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<std::string>{"receive 9", "close 0"}));
}

TEST_F(AsyncTLSSocketTest, ShutdownWithASilentPeerHasADeadline) {
    const uint16_t port = testsupport::freePort();
    testsupport::WriteFile(m_Root / "silent.crt", leaf.CertificatePEM());
    testsupport::WriteFile(m_Root / "silent.key", leaf.KeyPEM());
    testsupport::ServerProcess server({"/usr/bin/python3", PeerScript("tls_silent_peer.py"),
                                       std::to_string(port), (m_Root / "silent.crt").string(),
                                       (m_Root / "silent.key").string()});
    ASSERT_TRUE(server.waitForPort("127.0.0.1", port));
    auto socket = MakeSocket();
    ASSERT_EQ(Connect(socket, "localhost", port, true), ITCPSocket::Success);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Close(socket), ITCPSocket::Success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_FALSE(socket->IsConnected());
}

// ---- proxy tunnel ----

namespace {

class ProxyTunnelTest : public AsyncTCPSocketTest {
protected:
    std::unique_ptr<testsupport::ServerProcess> StartProxy(int status) {
        m_ProxyPort = testsupport::freePort();
        auto proxy = std::make_unique<testsupport::ServerProcess>(std::vector<std::string>{
            "/usr/bin/python3", PeerScript("connect_proxy.py"), std::to_string(m_ProxyPort),
            std::to_string(status), (m_Root / "head.txt").string()});
        EXPECT_TRUE(proxy->waitForPort("127.0.0.1", m_ProxyPort));
        return proxy;
    }
    std::optional<ITCPSocket::ErrorCode> ConnectThroughProxy(
        const std::shared_ptr<AsyncTCPSocket>& socket) {
        std::optional<ITCPSocket::ErrorCode> result;
        socket->AsyncConnect("target.example", 8443, false, "127.0.0.1", m_ProxyPort,
                             [&](ITCPSocket::ErrorCode code) { result = code; });
        Poll([&] { return result.has_value(); });
        return result;
    }

    uint16_t m_ProxyPort = 0;
};

}  // namespace

TEST_F(ProxyTunnelTest, OpenTunnelCarriesData) {
    auto proxy = StartProxy(200);
    auto socket = MakeSocket();
    ASSERT_EQ(ConnectThroughProxy(socket), ITCPSocket::Success);
    EXPECT_EQ(socket->GetActiveEndpoint(), (network::Endpoint{"target.example", 8443}));
    EXPECT_EQ(testsupport::TempDir::read(m_Root / "head.txt"),
              "CONNECT target.example:8443 HTTP/1.1\r\nHost: target.example:8443\r\n"
              "Proxy-Connection: keep-alive\r\n\r\n");
    EXPECT_TRUE(m_Log->Has(
        "AsyncTCPSocket", logging::Debug,
        "Sending HTTP CONNECT to proxy <127.0.0.1:" + std::to_string(m_ProxyPort) + ">"));

    Send(socket, "ping", "ping");
    std::optional<ITCPSocket::ErrorCode> code;
    std::string text;
    socket->AsyncReceive(4, [&](ITCPSocket::ErrorCode c, CBYTESubBuffer&& buffer) {
        code = c;
        text = TextOf(buffer);
    });
    ASSERT_TRUE(Poll([&] { return code.has_value(); }));
    EXPECT_EQ(text, "ping");
}

TEST_F(ProxyTunnelTest, RefusalsEndTheNegotiation) {
    const struct {
        int status;
        ITCPSocket::ErrorCode expected;
    } cases[] = {{407, ITCPSocket::ProxyAuthenticationRequired},
                 {403, ITCPSocket::ProxyNegotiationFailure},
                 {502, ITCPSocket::ProxyNegotiationFailure}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        auto proxy = StartProxy(c.status);
        auto socket = MakeSocket();
        EXPECT_EQ(ConnectThroughProxy(socket), c.expected);
    }
    auto socket = MakeSocket();
    m_ProxyPort = testsupport::freePort();
    EXPECT_EQ(ConnectThroughProxy(socket), ITCPSocket::ConnectionFailure) << "no proxy listening";
}
