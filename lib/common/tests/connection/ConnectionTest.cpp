// The backup connection over a scripted WebSocket: status and error tables, replaced sockets,
// the drain of pending sends and the proxy credentials in the safe store.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FakeWebSocket.h"
#include "common/connectioncontroller/connection/Connection.h"
#include "common/safestore/ISafeStore.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/common/tests/support/RecordingConnectionDelegate.h"
#include "lib/common/tests/support/RecordingLogger.h"

namespace connectiontest {
namespace {

using common::IConnectionDelegate;
using common::ILogger;
using network::ITCPSocket;
using Events = std::vector<std::string>;

class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest() { make(); }
    ~ConnectionTest() override {
        if (connection) {
            connection->setDelegate(nullptr);
        }
    }

    void make() {
        connection = std::make_unique<common::Connection>(
            environment, *scheduler, *safeStore,
            std::make_unique<testsupport::RecordingLogger>("WebscoketConnection", book));
        connection->setDelegate(&delegate);
    }

    std::shared_ptr<WebSocketScript> open(const std::string& url = "wss://backend/ws") {
        connection->connect(url);
        auto script = factory->scripts.back();
        script->completeConnect(101);
        return script;
    }

    std::shared_ptr<testsupport::ManualScheduler> scheduler =
        testsupport::ManualScheduler::create();
    std::shared_ptr<FakeFactory> factory = std::make_shared<FakeFactory>();
    std::shared_ptr<extension::EventLoopEnvironment> environment =
        std::make_shared<extension::EventLoopEnvironment>(factory);
    testsupport::MemoryParams params;
    std::unique_ptr<common::ISafeStore> safeStore =
        common::ISafeStore::create(params, {1, 2, 3, 4}, {5, 6, 7, 8});
    std::shared_ptr<testsupport::LogBook> book = std::make_shared<testsupport::LogBook>();
    testsupport::RecordingConnectionDelegate delegate;
    std::unique_ptr<common::Connection> connection;
};

TEST_F(ConnectionTest, ConnectOutcomesFollowTheStatus) {
    struct Case {
        int status;
        Events events;
        const char* fatalName;
    };
    const Case cases[] = {
        {101, {"connected :0  "}, nullptr},
        // Only an upgrade is a connection.
        {200, {"disconnected 1"}, nullptr},
        {202, {"disconnected 1"}, nullptr},
        {3, {"disconnected 1"}, nullptr},
        {400, {"disconnected 1"}, nullptr},
        {0, {"fatal", "disconnected 1"}, "Failed"},
        {1, {"fatal", "disconnected 1"}, "Refused"},
        {4, {"fatal", "disconnected 1"}, "SecureHandshakeFailed"},
        {407, {"proxy proxy : 3128"}, nullptr},
    };
    network::URL proxy;
    proxy.host = "proxy";
    proxy.port = 3128;
    factory->connectivity->proxy = proxy;
    for (const Case& c : cases) {
        delegate.events.clear();
        book->clear();
        make();
        connection->setDisconnectReason(IConnectionDelegate::Requested);
        connection->connect("ws://backend/ws");
        factory->scripts.back()->completeConnect(c.status);
        if (c.status == 101) {
            // Through a proxy: its address and the credentials in use.
            EXPECT_EQ(delegate.events, Events{"connected proxy:3128  "});
            EXPECT_EQ(factory->scripts.back()->receives.size(), 1u);
            continue;
        }
        EXPECT_EQ(delegate.events, c.events) << c.status;
        if (c.fatalName != nullptr) {
            EXPECT_TRUE(book->contains(
                ILogger::Error, std::string("Fatal connection error occured: ") + c.fatalName))
                << c.status;
        }
    }
    // Without a proxy the connected report is empty.
    factory->connectivity->proxy = network::URL();
    delegate.events.clear();
    make();
    open();
    EXPECT_EQ(delegate.events, Events{"connected :0  "});
}

TEST_F(ConnectionTest, ConnectWhileConnectingIsIgnoredAndAfterAFailureReplacesTheSocket) {
    connection->addToConnectionHeader("Authorization", "first");
    connection->addToConnectionHeader("Authorization", "second");
    connection->addToConnectionHeader("A-Header", "a");
    connection->connect("ws://backend/ws");
    connection->connect("ws://backend/ws");
    ASSERT_EQ(factory->scripts.size(), 1u);
    EXPECT_EQ(factory->scripts[0]->headers,
              (std::map<std::string, std::string>{{"A-Header", "a"}, {"Authorization", "first"}}));
    factory->scripts[0]->completeConnect(3);
    connection->connect("ws://backend/ws");
    // The failed socket is closed first; the new one is made when that close is done.
    ASSERT_EQ(factory->scripts[0]->closes.size(), 1u);
    EXPECT_EQ(factory->scripts.size(), 1u);
    factory->scripts[0]->closes[0]();
    ASSERT_EQ(factory->scripts.size(), 2u);
    factory->scripts[1]->completeConnect(101);
    EXPECT_EQ(delegate.events, (Events{"disconnected 1", "connected :0  "}));
}

TEST_F(ConnectionTest, ReceiveOutcomesFollowTheErrorCode) {
    struct Case {
        ITCPSocket::ErrorCode code;
        Events events;
    };
    const Case cases[] = {
        {ITCPSocket::ConnectionFailure, {"fatal", "disconnected 2"}},
        {ITCPSocket::SecureHandshakeFailure, {"fatal", "disconnected 2"}},
        {ITCPSocket::ProxyNegotiationFailure, {"fatal", "disconnected 2"}},
        {ITCPSocket::NetworkUnreachable, {"disconnected 1"}},
        {ITCPSocket::OperationCancelled, {"disconnected 2"}},
        {ITCPSocket::ReadFailure, {"disconnected 2"}},
    };
    for (const Case& c : cases) {
        make();
        auto script = open();
        script->completeReceive(ITCPSocket::Success, "one");
        ASSERT_EQ(script->receives.size(), 1u);  // the next receive is outstanding
        connection->setDisconnectReason(IConnectionDelegate::ProxyCredentialsRequired);
        delegate.events.clear();
        script->completeReceive(c.code);
        EXPECT_EQ(delegate.events, c.events) << c.code;
        EXPECT_TRUE(script->receives.empty()) << c.code;
    }
}

TEST_F(ConnectionTest, CompletionsOfADroppedSocketOrADestroyedConnectionDoNothing) {
    auto script = open();
    connection->disconnect();
    EXPECT_EQ(script->closes.size(), 1u);
    EXPECT_EQ(delegate.events, (Events{"connected :0  ", "disconnected 1"}));
    // The server answers the close: the receive left on the dropped socket ends quietly.
    script->completeReceive(ITCPSocket::OperationCancelled);
    EXPECT_EQ(delegate.events.size(), 2u);
    // Nothing to disconnect now.
    connection->disconnect();
    EXPECT_EQ(delegate.events.size(), 2u);

    // A late connect completion of a socket dropped while connecting reaches nobody, and the
    // next connect is not blocked by it.
    connection->connect("ws://backend/ws");
    auto dropped = factory->scripts.back();
    connection->disconnect();
    dropped->completeConnect(101);
    EXPECT_TRUE(dropped->receives.empty());
    connection->connect("ws://backend/ws");
    EXPECT_EQ(factory->scripts.size(), 3u);

    // After destruction every completion is ignored.
    auto last = factory->scripts.back();
    last->completeConnect(101);
    connection->send({'x'}, [](bool) { ADD_FAILURE() << "callback after destruction"; });
    delegate.events.clear();
    connection.reset();
    last->completeReceive(ITCPSocket::Success, "late");
    last->sends.back()(ITCPSocket::Success);
    EXPECT_TRUE(delegate.events.empty());
}

TEST_F(ConnectionTest, SendsReportTheirResultAndWithoutSocketFalseFromATask) {
    std::vector<bool> results;
    connection->send({'a'}, [&](bool ok) { results.push_back(ok); });
    EXPECT_TRUE(results.empty());  // never from inside the call
    scheduler->runDue();
    EXPECT_EQ(results, std::vector<bool>{false});

    auto script = open();
    connection->send({'b'}, [&](bool ok) { results.push_back(ok); });
    connection->send({'c'}, [&](bool ok) { results.push_back(ok); });
    EXPECT_EQ(script->sent, (std::vector<std::string>{"b", "c"}));
    script->sends[0](ITCPSocket::Success);
    script->sends[1](ITCPSocket::WriteFailure);
    EXPECT_EQ(results, (std::vector<bool>{false, true, false}));
}

TEST_F(ConnectionTest, DisconnectWaitsForPendingSendsWithABound) {
    auto script = open();
    std::vector<bool> results;
    connection->send({'1'}, [&](bool ok) { results.push_back(ok); });
    connection->send({'2'}, [&](bool ok) { results.push_back(ok); });
    // The sends complete in the event loop that the drain polls.
    environment->ScheduleTask(std::chrono::steady_clock::now(), [script] {
        script->sends[0](ITCPSocket::Success);
        script->sends[1](ITCPSocket::Success);
    });
    connection->setDisconnectReason(IConnectionDelegate::Requested);
    connection->disconnect();
    EXPECT_TRUE(book->contains(ILogger::Info, "disconnect (pending sends: 2)"));
    EXPECT_EQ(results, (std::vector<bool>{true, true}));
    EXPECT_EQ(script->closes.size(), 1u);
    EXPECT_EQ(delegate.events.back(), "disconnected 0");

    // Sends that never complete hold the disconnect only up to the bound.
    auto second = open();
    connection->send({'3'}, nullptr);
    connection->disconnect();
    EXPECT_TRUE(book->contains(ILogger::Warning, "pending sends did not complete"));
    EXPECT_EQ(second->closes.size(), 1u);
    EXPECT_EQ(delegate.events.back(), "disconnected 0");
}

TEST_F(ConnectionTest, ProxyCredentialsLiveInTheSafeStore) {
    connection->setProxyUserPass(L"ab", L"p\u00e4ss");
    EXPECT_EQ(safeStore->getValue("ProxyUsername", ""), "YQAAAGIAAAA=");
    EXPECT_EQ(factory->connectivity->user, "ab");
    EXPECT_EQ(factory->connectivity->password, "p\xc3\xa4ss");
    // A new connection gives the stored credentials to the connectivity at once.
    factory->connectivity = std::make_shared<FakeConnectivity>();
    make();
    EXPECT_EQ(factory->connectivity->user, "ab");
    EXPECT_EQ(factory->connectivity->password, "p\xc3\xa4ss");
    // Empty ones are stored and handed on too; a connection made then hands on nothing.
    connection->setProxyUserPass(L"", L"");
    EXPECT_EQ(factory->connectivity->credentialCalls, 2);
    factory->connectivity = std::make_shared<FakeConnectivity>();
    make();
    EXPECT_EQ(factory->connectivity->credentialCalls, 0);
}

}  // namespace
}  // namespace connectiontest
