// The proxy authenticator on its own: states, stored credentials, proxy discovery and the bound
// on refused credentials.

#include <gtest/gtest.h>

#include <QAuthenticator>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <map>
#include <mutex>

#include "TestSupport.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "qtplatform/Keys.h"
#include "qtplatform/ProxyAuthenticator.h"

namespace {

class MemoryStorage : public common::credentialstorage::ICredentialStorage {
public:
    bool saveCredentials(const std::wstring& label, const std::wstring& account,
                         const std::wstring& password) const override {
        if (failSaves) {
            return false;
        }
        items[label] = {account, password};
        return true;
    }
    bool loadCredentials(const std::wstring& label, std::wstring& account,
                         std::wstring& password) const override {
        const auto found = items.find(label);
        if (found == items.end()) {
            return false;
        }
        account = found->second.first;
        password = found->second.second;
        return true;
    }
    bool failSaves = false;
    mutable std::map<std::wstring, std::pair<std::wstring, std::wstring>> items;
};

// Qt messages written while a test runs, as "category: text".
std::mutex g_messagesMutex;
std::vector<std::string> g_messages;

void captureMessage(QtMsgType, const QMessageLogContext& context, const QString& text) {
    std::lock_guard<std::mutex> lock(g_messagesMutex);
    g_messages.push_back(std::string(context.category ? context.category : "") + ": " +
                         text.toStdString());
}

std::size_t messageCount(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_messagesMutex);
    std::size_t n = 0;
    for (const auto& message : g_messages) {
        n += message.find(text) != std::string::npos ? 1 : 0;
    }
    return n;
}

class ProxyAuthenticatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(g_messagesMutex);
            g_messages.clear();
        }
        _previousHandler = qInstallMessageHandler(&captureMessage);
        scheduler = common::TaskScheduler::create(std::chrono::milliseconds(1),
                                                  common::ILogger::create("TaskScheduler"));
    }
    void TearDown() override {
        authenticator.reset();
        qInstallMessageHandler(_previousHandler);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::DefaultProxy));
        QNetworkProxyFactory::setUseSystemConfiguration(false);
    }
    ProxyAuthenticator& make() {
        authenticator = std::make_unique<ProxyAuthenticator>(
            &storage, scheduler->getTaskQueue("QtPlatform::ProxyAuthenticator"));
        return *authenticator;
    }
    void runTasks() {
        scheduler->runTasksUntil([this] { return scheduler->getTasksSize() > 0; });
    }
    // Drives the authenticator to the state `state`.
    void driveTo(ProxyAuthenticator& a, int state) {
        if (state == ProxyAuthenticator::Requesting) {
            a.requestingCredentials();
        } else if (state == ProxyAuthenticator::Available) {
            a.setCredentials("u", "p");
        } else if (state == ProxyAuthenticator::Tried) {
            a.credentialsTried();
        } else if (state == ProxyAuthenticator::Accepted) {
            a.credentialsTried();
            a.credentialsAccepted();
        }
    }

    MemoryStorage storage;
    std::shared_ptr<common::ITaskScheduler> scheduler;
    std::unique_ptr<ProxyAuthenticator> authenticator;

private:
    QtMessageHandler _previousHandler = nullptr;
};

}  // namespace

TEST_F(ProxyAuthenticatorTest, AcceptedOnlyAfterAnOfferOrARequestAndHandlerOnlyWhenInstalled) {
    struct Case {
        int from;
        int expected;
    };
    for (const Case& c : {Case{0, 0}, Case{1, 4}, Case{2, 2}, Case{3, 4}, Case{4, 4}}) {
        for (const bool withHandler : {false, true}) {
            ProxyAuthenticator& a = make();
            driveTo(a, c.from);
            ASSERT_EQ(a.state(), c.from);
            int calls = 0;
            if (withHandler) {
                a.setCredentialsAcceptedHandler(
                    [&calls](QString, unsigned short, QString, QString) { ++calls; });
            }
            a.credentialsAccepted();
            EXPECT_EQ(a.state(), c.expected) << "from " << c.from;
            runTasks();
            EXPECT_EQ(calls, withHandler && c.from != c.expected ? 1 : 0) << "from " << c.from;
        }
    }
}

TEST_F(ProxyAuthenticatorTest, AcceptedHandlerReadsTheValuesWhenItRuns) {
    ProxyAuthenticator& a = make();
    a.setHostInformation("proxy.local", 3128);
    a.setCredentials("alice", "secret");
    std::vector<std::string> seen;
    a.setCredentialsAcceptedHandler(
        [&seen](QString host, unsigned short port, QString user, QString password) {
            seen = {host.toStdString(), std::to_string(port), user.toStdString(),
                    password.toStdString()};
        });
    a.credentialsTried();
    a.credentialsAccepted();
    a.setHostInformation("other.local", 8080);
    runTasks();
    EXPECT_EQ(seen, (std::vector<std::string>{"other.local", "8080", "alice", "secret"}));
}

TEST_F(ProxyAuthenticatorTest, RepeatedStateOperationsLogOnce) {
    ProxyAuthenticator& a = make();
    a.requestingCredentials();
    a.requestingCredentials();
    EXPECT_EQ(messageCount("requesting credentials"), 1u);
    a.credentialsTried();
    a.credentialsTried();
    EXPECT_EQ(messageCount("stored credentials have been tried"), 1u);
    EXPECT_EQ(messageCount("ProxyAuthenticator: "), 2u);
}

TEST_F(ProxyAuthenticatorTest, CredentialsAreStoredLoadedAndKeptInMemoryWhenStoringFails) {
    ProxyAuthenticator& a = make();
    a.loadStoredCredentials();
    EXPECT_EQ(a.state(), ProxyAuthenticator::NoCredentials);
    EXPECT_EQ(messageCount("Stored credentials cannot be loaded"), 1u);

    a.setCredentials(QString::fromUtf8("j\xc3\xbcrgen"), "pw");
    EXPECT_EQ(a.state(), ProxyAuthenticator::Available);
    EXPECT_EQ(storage.items.at(Keys::ProxyCredentials).first, L"j\u00fcrgen");

    ProxyAuthenticator& b = make();
    b.loadStoredCredentials();
    EXPECT_EQ(b.state(), ProxyAuthenticator::Available);
    EXPECT_EQ(b.username(), QString::fromUtf8("j\xc3\xbcrgen"));
    EXPECT_EQ(b.password(), "pw");

    storage.failSaves = true;
    b.setCredentials("new", "pw2");
    EXPECT_EQ(b.state(), ProxyAuthenticator::Available);
    EXPECT_EQ(b.username(), "new");
    EXPECT_EQ(messageCount("failed to store credentials, only in-memory storage is available"), 1u);
    EXPECT_EQ(storage.items.at(Keys::ProxyCredentials).first, L"j\u00fcrgen");
}

TEST_F(ProxyAuthenticatorTest, ProxyIsEnabledOnlyWithHostAndPort) {
    ProxyAuthenticator& a = make();
    EXPECT_FALSE(a.isProxyEnabled());
    a.setHostInformation("proxy.local", 0);
    EXPECT_FALSE(a.isProxyEnabled());
    a.setHostInformation("proxy.local", 3128);
    EXPECT_TRUE(a.isProxyEnabled());
}

TEST_F(ProxyAuthenticatorTest, ApplicationProxyWinsAndTheSystemIsNotAsked) {
    testsupport::ScopedEnv https("https_proxy", std::string("http://127.0.0.1:9"));
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, "app-proxy.local", 8888));
    ProxyAuthenticator& a = make();
    a.updateHostInformation();
    EXPECT_EQ(a.host(), "app-proxy.local");
    EXPECT_EQ(a.port(), 8888);
    EXPECT_FALSE(QNetworkProxyFactory::usesSystemConfiguration());
    EXPECT_EQ(messageCount("Application proxy host information has been successfully set"), 1u);
    EXPECT_EQ(messageCount("Updated proxy host information!"), 1u);
}

TEST_F(ProxyAuthenticatorTest, SystemProxyComesFromHttpsProxy) {
    testsupport::ScopedEnv noProxy("no_proxy", std::nullopt);
    testsupport::ScopedEnv https("https_proxy", std::string("http://127.0.0.1:3129"));
    ProxyAuthenticator& a = make();
    a.updateHostInformation();
    EXPECT_EQ(a.host(), "127.0.0.1");
    EXPECT_EQ(a.port(), 3129);
    EXPECT_TRUE(QNetworkProxyFactory::usesSystemConfiguration());
    EXPECT_EQ(messageCount("System proxy has been successfully set"), 1u);
    EXPECT_EQ(messageCount("Updated proxy host information!"), 1u);
}

TEST_F(ProxyAuthenticatorTest, NoProxyLeavesHostEmpty) {
    testsupport::ScopedEnv https("https_proxy", std::nullopt);
    testsupport::ScopedEnv http("http_proxy", std::nullopt);
    testsupport::ScopedEnv all("all_proxy", std::nullopt);
    ProxyAuthenticator& a = make();
    a.updateHostInformation();
    EXPECT_TRUE(a.host().isEmpty());
    EXPECT_EQ(a.port(), 0);
    EXPECT_EQ(messageCount("Updated proxy host information!"), 0u);
}

TEST_F(ProxyAuthenticatorTest, CachedCredentialsAreOfferedOncePerChallenge) {
    ProxyAuthenticator& a = make();
    a.setCredentials("alice", "secret");
    QAuthenticator first;
    ASSERT_TRUE(a.registerChallenge());
    ASSERT_TRUE(a.offerCachedCredentials(&first));
    EXPECT_EQ(first.user(), "alice");
    EXPECT_EQ(first.password(), "secret");
    EXPECT_EQ(a.state(), ProxyAuthenticator::Tried);
    // The proxy asks again: the offered pair was refused and is not offered a second time.
    QAuthenticator second;
    EXPECT_TRUE(a.registerChallenge());
    EXPECT_FALSE(a.offerCachedCredentials(&second));
    EXPECT_TRUE(second.user().isEmpty());
}

TEST_F(ProxyAuthenticatorTest, RefusedCredentialsAreGivenUpAfterThreeAttempts) {
    ProxyAuthenticator& a = make();
    int offers = 0;
    // Something answers every request for credentials with the same refused pair.
    for (int challenge = 0; challenge < 20; ++challenge) {
        a.setCredentials("alice", "wrong");
        QAuthenticator authenticator;
        if (a.registerChallenge() && a.offerCachedCredentials(&authenticator)) {
            ++offers;
        }
    }
    EXPECT_EQ(offers, ProxyAuthenticator::kMaxRefusedAttempts);
    EXPECT_GE(messageCount("giving up"), 1u);

    // Different credentials start a new negotiation; an acceptance ends it.
    a.setCredentials("alice", "right");
    QAuthenticator authenticator;
    ASSERT_TRUE(a.registerChallenge());
    ASSERT_TRUE(a.offerCachedCredentials(&authenticator));
    EXPECT_EQ(authenticator.password(), "right");
    a.credentialsAccepted();
    EXPECT_EQ(a.state(), ProxyAuthenticator::Accepted);
    EXPECT_TRUE(a.registerChallenge());
    EXPECT_TRUE(a.canUseCachedCredentials());
}
