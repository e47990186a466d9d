// HTTP queries on the live platform against an aiohttp server and openssl s_server.

#include <gtest/gtest.h>

#include <QNetworkRequest>

#include "TestSupport.h"
#include "qtplatform/HttpQuery.h"
#include "qtplatform/LogUtils.h"
#include "qtplatform/TrustAnchors.h"

using qttest::Live;

namespace {

// What one query reported, in order.
struct Outcome {
    std::vector<std::string> events;
    bool finished = false;
    bool success = false;
    std::vector<IHttpQuery::Error> errors;
    std::vector<std::vector<SslError::ErrorCode>> sslErrors;
};

void watch(IHttpQuery& query, Outcome& outcome) {
    query.setFinishedHandler([&outcome](bool success) {
        outcome.events.push_back(success ? "finished:true" : "finished:false");
        outcome.finished = true;
        outcome.success = success;
    });
    query.setErrorHandler([&outcome](IHttpQuery::Error error) {
        outcome.events.push_back("error:" + std::to_string(error));
        outcome.errors.push_back(error);
    });
    query.setSslErrorHandler([&outcome](std::vector<SslError::ErrorCode> codes) {
        outcome.events.push_back("ssl");
        outcome.sslErrors.push_back(std::move(codes));
    });
}

class HttpQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        live = Live::get();
        if (live == nullptr) {
            GTEST_SKIP() << "this process runs a platform set up for another test";
        }
    }
    Live* live = nullptr;
};

class HttpPeerTest : public HttpQueryTest {
protected:
    static void SetUpTestSuite() { peer = std::make_unique<qttest::PythonPeer>("http_server.py"); }
    static void TearDownTestSuite() { peer.reset(); }
    void SetUp() override {
        HttpQueryTest::SetUp();
        ASSERT_TRUE(peer->ready());
    }
    static std::unique_ptr<qttest::PythonPeer> peer;
};
std::unique_ptr<qttest::PythonPeer> HttpPeerTest::peer;

}  // namespace

TEST_F(HttpPeerTest, EveryVerbIsSentWithItsBodyAndHeaders) {
    const std::vector<std::pair<int, std::string>> verbs{
        {IHttpQuery::Get, "GET"},     {IHttpQuery::Post, "POST"},     {IHttpQuery::Put, "PUT"},
        {IHttpQuery::Patch, "PATCH"}, {IHttpQuery::Delete, "DELETE"}, {7, "GET"}};
    for (const auto& verb : verbs) {
        auto query = live->platform().createQuery();
        Outcome outcome;
        watch(*query, outcome);
        query->setUrl(peer->url("http", "/echo"));
        query->setOperation(static_cast<IHttpQuery::Operation>(verb.first));
        query->setRawHeader("X-Test", "first");
        query->setRawHeader("X-Test", "second");
        query->setContentType("application/json");
        query->setBody("{\"a\":1}");
        query->execute();
        ASSERT_TRUE(live->runUntil([&] { return outcome.finished; })) << verb.second;
        EXPECT_TRUE(outcome.success);
        EXPECT_TRUE(outcome.errors.empty());
        EXPECT_EQ(query->getStringResponse(), verb.second + "\napplication/json\n{\"a\":1}");
        EXPECT_EQ(std::string(query->getResponse().begin(), query->getResponse().end()),
                  query->getStringResponse());
        EXPECT_EQ(query->getHeader("x-method"), verb.second);
        EXPECT_EQ(query->getHeader("X-ECHO-HEADER"), "second");
        EXPECT_EQ(query->getHeader("X-Missing"), "");
        EXPECT_EQ(query->getRawHeaderList().count("X-Method"), 1u);
    }
}

TEST_F(HttpPeerTest, HttpErrorStatusesArriveAsErrorThenFinishedFalse) {
    const std::vector<std::pair<int, IHttpQuery::Error>> statuses{
        {403, IHttpQuery::ContentAccessDenied},
        {404, IHttpQuery::ContentNotFoundError},
        {500, IHttpQuery::InternalServerError},
        {503, IHttpQuery::ServiceUnavailableError},
    };
    for (const auto& status : statuses) {
        auto query = live->platform().createQuery();
        Outcome outcome;
        watch(*query, outcome);
        query->setUrl(peer->url("http", "/status/" + std::to_string(status.first)));
        query->execute();
        ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
        EXPECT_EQ(outcome.events, (std::vector<std::string>{
                                      "error:" + std::to_string(status.second), "finished:false"}))
            << status.first;
        EXPECT_EQ(query->getStringResponse(), "status " + std::to_string(status.first));
    }
    EXPECT_TRUE(live->lines().contains("error", "[ HttpQuery ] [ 0x"));
    EXPECT_TRUE(live->lines().contains("error", "network error:"));
}

TEST_F(HttpPeerTest, HeadersWithLineBreaksAreRefused) {
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl(peer->url("http", "/echo"));
    query->setRawHeader("X-Test", "kept");
    query->setRawHeader("X-Test", "evil\r\nX-Injected: 1");
    query->setRawHeader("X-Bad\nName", "value");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(query->getHeader("X-Echo-Header"), "kept");
    EXPECT_TRUE(live->lines().contains("warning", "refusing a header with a line break:"));
}

TEST_F(HttpPeerTest, ChunkedBodyIsWholeAndInOrderAndCounted) {
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl(peer->url("http", "/chunked"));
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(query->getStringResponse(), "part0;part1;part2;part3;part4;");
    EXPECT_EQ(query->getResponse().size(), 30u);

    const void* address = dynamic_cast<HttpQuery*>(query.get());
    query.reset();
    live->runFor(std::chrono::milliseconds(100));
    live->collector()->flush();
    long long received = 0;
    for (const auto& record : live->collector()->records()) {
        if (record.tag == "httpquery-bytes-received" &&
            std::get<std::string>(record.attributes.at("object")) ==
                LogUtils::pointerToHex(address)) {
            received += std::get<int64_t>(record.attributes.at("size"));
        }
    }
    EXPECT_EQ(received, 30);
}

TEST_F(HttpPeerTest, ContentDispositionIsFoundWithoutRegardToCase) {
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl(peer->url("http", "/disposition"));
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(query->getHeader("content-disposition"), "attachment; filename=\"a.zip\"");
}

TEST_F(HttpPeerTest, WaitForFinishedIsBoundedAndTrueOnceDone) {
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl(peer->url("http", "/small"));
    query->execute();
    EXPECT_TRUE(query->waitForFinished(5000));
    EXPECT_TRUE(query->waitForFinished(5000));
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));

    auto silent = live->platform().createQuery();
    Outcome silentOutcome;
    watch(*silent, silentOutcome);
    silent->setUrl(peer->url("http", "/never"));
    silent->execute();
    EXPECT_FALSE(silent->waitForFinished(200));
}

TEST_F(HttpPeerTest, AServerThatNeverAnswersEndsAtTheTransferTimeout) {
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl(peer->url("http", "/never"));
    query->setTransferTimeout(300);
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_FALSE(outcome.success);
    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_EQ(outcome.errors[0], IHttpQuery::OperationCanceledError);
}

TEST_F(HttpPeerTest, DeletedQueryCallsNoHandlerEvenForPostedResults) {
    bool called = false;
    auto query = live->platform().createQuery();
    query->setFinishedHandler([&called](bool) { called = true; });
    query->setErrorHandler([&called](IHttpQuery::Error) { called = true; });
    query->setUrl(peer->url("http", "/status/404"));
    query->execute();
    // Let the Qt thread post its results without running them.
    ASSERT_TRUE(query->waitForFinished(5000));
    live->runFor(std::chrono::milliseconds(0));
    query.reset();
    live->runFor(std::chrono::milliseconds(200));
    EXPECT_FALSE(called);

    // Also when the reply is still running.
    auto running = live->platform().createQuery();
    running->setFinishedHandler([&called](bool) { called = true; });
    running->setUrl(peer->url("http", "/chunked"));
    running->execute();
    live->runFor(std::chrono::milliseconds(20));
    running.reset();
    live->runFor(std::chrono::milliseconds(500));
    EXPECT_FALSE(called);
}

TEST_F(HttpPeerTest, MissingHandlersAreWarnedAndWaitingStillEnds) {
    auto query = live->platform().createQuery();
    query->setUrl(peer->url("http", "/status/404"));
    query->execute();
    EXPECT_TRUE(query->waitForFinished(5000));
    live->runFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(live->lines().contains("warning", "Error handler is missing."));
    EXPECT_TRUE(live->runUntil(
        [&] { return live->lines().contains("warning", "Finished handler is missing."); }));
}

TEST_F(HttpPeerTest, ResetClearsTheRequestSideForAnotherRun) {
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl(peer->url("http", "/echo"));
    query->setOperation(IHttpQuery::Post);
    query->setRawHeader("X-Test", "gone");
    query->setBody("first");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    query->reset();
    EXPECT_TRUE(query->getStringResponse().empty());
    outcome = Outcome();
    query->setUrl(peer->url("http", "/echo"));
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(query->getStringResponse(), "POST\n\n");
    EXPECT_EQ(query->getHeader("X-Echo-Header"), "");
}

TEST_F(HttpPeerTest, TransferFileUploadsTheFileAsAMultipartPut) {
    testsupport::TempDir dir;
    const auto file = dir.write("report.txt", std::string(1000, 'x'));
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl(peer->url("http", "/upload"));
    query->transferFile(file.string());
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(query->getStringResponse().rfind("PUT ", 0), 0u) << query->getStringResponse();
    EXPECT_NE(query->getStringResponse().find("multipart/form-data; boundary="), std::string::npos);

    auto missing = live->platform().createQuery();
    Outcome missingOutcome;
    watch(*missing, missingOutcome);
    missing->setUrl(peer->url("http", "/upload"));
    missing->transferFile((dir / "absent").string());
    EXPECT_FALSE(missing->waitForFinished(300));
    EXPECT_TRUE(missingOutcome.events.empty());
}

TEST_F(HttpPeerTest, ARefusedConnectionIsReported) {
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl("http://127.0.0.1:" + std::to_string(testsupport::freePort()) + "/");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(outcome.events, (std::vector<std::string>{"error:1", "finished:false"}));
}

// TLS against openssl s_server.

class TlsQueryTest : public HttpQueryTest {
protected:
    static void SetUpTestSuite() { certificates = std::make_unique<qttest::TestCertificates>(); }
    static void TearDownTestSuite() { certificates.reset(); }
    void SetUp() override {
        HttpQueryTest::SetUp();
        ASSERT_TRUE(certificates->ok());
    }
    static std::unique_ptr<qttest::TestCertificates> certificates;
};
std::unique_ptr<qttest::TestCertificates> TlsQueryTest::certificates;

TEST_F(TlsQueryTest, SelfSignedCertificateFailsWithTheSslHandlerThenErrorSix) {
    qttest::TlsPeer peer(certificates->selfSignedCert(), certificates->selfSignedKey());
    ASSERT_TRUE(peer.ready());
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl("https://127.0.0.1:" + std::to_string(peer.port()) + "/");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(outcome.events, (std::vector<std::string>{"ssl", "error:6", "finished:false"}));
    ASSERT_EQ(outcome.sslErrors.size(), 1u);
    EXPECT_NE(std::find(outcome.sslErrors[0].begin(), outcome.sslErrors[0].end(),
                        SslError::SelfSignedCertificate),
              outcome.sslErrors[0].end());
}

TEST_F(TlsQueryTest, WithoutSslHandlerTheMissingHandlerIsWarned) {
    qttest::TlsPeer peer(certificates->selfSignedCert(), certificates->selfSignedKey());
    ASSERT_TRUE(peer.ready());
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setSslErrorHandler({});
    query->setUrl("https://127.0.0.1:" + std::to_string(peer.port()) + "/");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(outcome.events, (std::vector<std::string>{"error:6", "finished:false"}));
    EXPECT_TRUE(live->lines().contains("warning", "sslError handler is missing."));
}

TEST_F(TlsQueryTest, AnIgnoreListThatSelectsEveryErrorLetsTheRequestThrough) {
    qttest::PythonPeer peer("tls_server.py",
                            {certificates->selfSignedCert(), certificates->selfSignedKey()});
    ASSERT_TRUE(peer.ready());
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->ignoreSslErrors({SslError::SelfSignedCertificate});
    query->setUrl("https://127.0.0.1:" + std::to_string(peer.port()) + "/");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; })) << live->lines().dump();
    EXPECT_EQ(outcome.events, (std::vector<std::string>{"finished:true"}));
    EXPECT_EQ(query->getStringResponse(), "hello over tls");
    EXPECT_TRUE(live->lines().contains("warning", "ignoring SSL errors:"));
}

TEST_F(TlsQueryTest, AnIgnoreListThatMissesAnErrorStillFails) {
    qttest::TlsPeer peer(certificates->selfSignedCert(), certificates->selfSignedKey());
    ASSERT_TRUE(peer.ready());
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->ignoreSslErrors({SslError::CertificateExpired});
    query->setUrl("https://127.0.0.1:" + std::to_string(peer.port()) + "/");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(outcome.events, (std::vector<std::string>{"ssl", "error:6", "finished:false"}));
}

TEST_F(TlsQueryTest, ACertificateOfAnAddedAuthorityIsTrusted) {
    qttest::PythonPeer peer("tls_server.py", {certificates->leafCert(), certificates->leafKey()});
    ASSERT_TRUE(peer.ready());
    ASSERT_EQ(TrustAnchors::addCertificates(certificates->caFile()), 1);
    auto query = live->platform().createQuery();
    Outcome outcome;
    watch(*query, outcome);
    query->setUrl("https://127.0.0.1:" + std::to_string(peer.port()) + "/");
    query->execute();
    ASSERT_TRUE(live->runUntil([&] { return outcome.finished; }));
    EXPECT_EQ(outcome.events, (std::vector<std::string>{"finished:true"}));
}
