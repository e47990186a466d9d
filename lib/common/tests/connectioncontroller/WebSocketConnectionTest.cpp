#include "common/connectioncontroller/WebSocketConnection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "lib/common/tests/support/FakeQtPlatform.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/RecordingConnectionDelegate.h"
#include "lib/common/tests/support/RecordingLogger.h"

using common::IConnectionDelegate;
using common::ILogger;
using common::WebSocketConnection;
using testsupport::FakeQtPlatform;

namespace {

using ConnectionListener = testsupport::RecordingConnectionDelegate;

class WebSocketConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        connection = std::make_unique<WebSocketConnection>(
            nullptr, *scheduler, platform,
            std::make_unique<testsupport::RecordingLogger>("WebSocketConnection", book));
        connection->setDelegate(&listener);
        socket = platform.lastSocket;
        ASSERT_NE(socket, nullptr);
    }

    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    FakeQtPlatform platform;
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    ConnectionListener listener;
    std::unique_ptr<WebSocketConnection> connection;
    testsupport::FakeWebSocket* socket = nullptr;
};

TEST_F(WebSocketConnectionTest, OperationsGoStraightToTheSocket) {
    connection->addToConnectionHeader("Authorization", "first");
    connection->addToConnectionHeader("X-Other", "o");
    connection->clearConnectionHeader();
    connection->addToConnectionHeader("Authorization", "second");
    EXPECT_TRUE(connection->getConnectionHeaders().empty());
    EXPECT_EQ(platform.socketLog->headers,
              (std::map<std::string, std::string>{{"Authorization", "second"}, {"X-Other", "o"}}));

    connection->connect("https://backend.test/ws");
    connection->disconnect();
    connection->setProxyUserPass(L"user", L"pass");
    EXPECT_EQ(platform.socketLog->opened, std::vector<std::string>{"https://backend.test/ws"});
    EXPECT_EQ(platform.socketLog->closes, 1);
    ASSERT_EQ(platform.socketLog->credentials.size(), 1u);
    EXPECT_EQ(platform.socketLog->credentials[0].first, L"user");
}

TEST_F(WebSocketConnectionTest, SocketReportsBecomeDelegateCalls) {
    socket->handlers.connected("proxy.test", 8080, "u", "p");
    socket->handlers.textReceived("abc");
    socket->handlers.binaryReceived({'a', 'b', 'c'});
    socket->handlers.proxyAuthenticationRequired("proxy.test", 8080);
    socket->handlers.disconnected();
    connection->setDisconnectReason(IConnectionDelegate::ProxyCredentialsRequired);
    connection->setDisconnectReason(IConnectionDelegate::Requested);
    socket->handlers.disconnected();
    EXPECT_EQ(listener.events, (std::vector<std::string>{
                                   "connected proxy.test:8080 u p", "message abc", "message abc",
                                   "proxy proxy.test:8080", "disconnected 1", "disconnected 0"}));
}

TEST_F(WebSocketConnectionTest, OnlyFatalErrorsAreLoggedAndReported) {
    struct Case {
        int error;
        bool fatal;
        const char* name;
    };
    const std::vector<Case> cases = {
        {-1, true, "Unknown Error"},
        {0, false, "ConnectionRefusedError"},
        {1, false, "RemoteHostClosedError"},
        {2, false, "HostNotFoundError"},
        {3, true, "SocketAccessError"},
        {4, true, "SocketResourceError"},
        {5, true, "SocketTimeoutError"},
        {6, true, "DatagramTooLargeError"},
        {7, false, "NetworkError"},
        {8, true, "AddressInUseError"},
        {9, true, "SocketAddressNotAvailableError"},
        {10, true, "UnsupportedSocketOperationError"},
        {11, false, "UnfinishedSocketOperationError"},
        {12, false, "ProxyAuthenticationRequiredError"},
        {13, true, "SslHandshakeFailedError"},
        {14, false, "ProxyConnectionRefusedError"},
        {15, false, "ProxyConnectionClosedError"},
        {16, false, "ProxyConnectionTimeoutError"},
        {17, false, "ProxyNotFoundError"},
        {18, true, "ProxyProtocolError"},
        {19, true, "OperationError"},
        {20, true, "SslInternalError"},
        {21, true, "SslInvalidUserDataError"},
        {22, true, "TemporaryError"},
        {23, false, "Unknown Error"},
        {-2, false, "Unknown Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        listener.events.clear();
        book->clear();
        socket->handlers.error(static_cast<IWebSocket::Error>(c.error));
        EXPECT_EQ(listener.events.size(), c.fatal ? 1u : 0u);
        EXPECT_EQ(
            book->count(ILogger::Error, std::string("Fatal connection error occured: ") + c.name),
            c.fatal ? 1u : 0u);
        EXPECT_EQ(book->entries().size(), c.fatal ? 1u : 0u);
    }
}

TEST_F(WebSocketConnectionTest, WithoutDelegateNothingIsReportedOrLogged) {
    connection->setDelegate(nullptr);
    socket->handlers.connected("", 0, "", "");
    socket->handlers.textReceived("x");
    socket->handlers.error(IWebSocket::SslHandshakeFailedError);
    socket->handlers.disconnected();
    EXPECT_TRUE(listener.events.empty());
    EXPECT_TRUE(book->entries().empty());
}

TEST_F(WebSocketConnectionTest, OverlappingSendsEachGetTheirOwnResultInOrder) {
    std::vector<std::string> results;
    connection->send({'1'},
                     [&](bool ok) { results.push_back(std::string("1:") + (ok ? "t" : "f")); });
    connection->send({'2'}, nullptr);
    connection->send({'3'},
                     [&](bool ok) { results.push_back(std::string("3:") + (ok ? "t" : "f")); });
    EXPECT_EQ(platform.socketLog->sent.size(), 3u);
    socket->handlers.binarySent(true);
    socket->handlers.binarySent(true);
    socket->handlers.binarySent(false);
    // A result without a send of its own goes nowhere.
    socket->handlers.binarySent(true);
    EXPECT_EQ(results, (std::vector<std::string>{"1:t", "3:f"}));
}

TEST_F(WebSocketConnectionTest, DestructionDetachesTheSocketAndDropsPendingResults) {
    bool called = false;
    connection->send({'1'}, [&](bool) { called = true; });
    connection.reset();
    EXPECT_TRUE(platform.socketLog->handlersReset);
    EXPECT_TRUE(platform.socketLog->destroyed);
    EXPECT_FALSE(called);
    EXPECT_TRUE(listener.events.empty());
}

}  // namespace
