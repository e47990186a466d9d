#include "common/eventsender/EventBlockSender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../support/LogCapture.h"
#include "../telemetrysupport/FakeQtPlatform.h"
#include "../telemetrysupport/MonitoringStub.h"
#include "../telemetrysupport/RealQtPlatform.h"
#include "../telemetrysupport/ScriptedNetwork.h"
#include "common/tokenrequester/JsonTokenRequester.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "testsupport/ScopedEnv.h"

using common::EventBlockSender;
using common::IEventBlockSender;
using common::IJsonTokenRequester;
using common::JsonLogEvent;
using telemetrytest::FakeQtPlatform;
using telemetrytest::MonitoringStub;
using testing::HasSubstr;
using testsupport::ManualScheduler;
using testsupport::MemoryParams;
using testsupport::ScriptedHTTPAnswer;
using testsupport::ScriptedNetwork;
using namespace std::chrono_literals;

namespace {

// Keeps every token request; the test answers them.
class FakeTokenRequester : public IJsonTokenRequester {
public:
    explicit FakeTokenRequester(std::vector<ResultFunction>& requests) : _requests(requests) {}
    void requestToken(ResultFunction&& result) override { _requests.push_back(std::move(result)); }

private:
    std::vector<ResultFunction>& _requests;
};

class RecordingErrorHandler : public common::IEventBlockSenderErrorHandler {
public:
    void sendError(const std::string& error) const override { errors.push_back(error); }
    mutable std::vector<std::string> errors;
};

JsonLogEvent event(const std::string& message, const std::string& tag = "") {
    JsonLogEvent e;
    e.time = "2026-12-09T15:05:27.005Z";
    e.level = "Info";
    e.app = "Unattended";
    e.facility = "Test";
    e.message = message;
    e.sessionId = "S";
    e.tag = tag;
    return e;
}

std::vector<JsonLogEvent> batch(const std::string& message) {
    return {event(message)};
}

class EventBlockSenderTest : public ::testing::Test {
protected:
    void SetUp() override { logs = testsupport::LogCapture::install(); }

    std::unique_ptr<EventBlockSender> makeSender() {
        auto sender = std::make_unique<EventBlockSender>(
            "Unattended", factory, scheduler->getTaskQueue("EventBlockSender"), params,
            common::ILogger::create("EventBlockSender"),
            std::make_unique<FakeTokenRequester>(tokenRequests), platform,
            [this] { return scheduler->now(); });
        sender->setErrorHandler(&errorHandler);
        return sender;
    }

    // The message of the only log event in the block sent as query n.
    std::string sentMessage(std::size_t n) const {
        const std::string& body = platform.seen(n).body;
        const auto at = body.find("\"message\":\"");
        return at == std::string::npos ? ""
                                       : body.substr(at + 11, body.find('"', at + 11) - at - 11);
    }

    std::shared_ptr<testsupport::LogCapture> logs;
    std::shared_ptr<ManualScheduler> scheduler = ManualScheduler::create();
    FakeQtPlatform platform;
    std::shared_ptr<ScriptedNetwork> network = std::make_shared<ScriptedNetwork>();
    // The sender holds the factory weakly, as the environment owns it in the program.
    std::shared_ptr<network::INetworkFactory> factory = network->makeFactory();
    MemoryParams params{
        std::map<std::string, std::string>{{"MonitoringUrl", "https://mon.example/"},
                                           {"MonitoringToken", "tok"},
                                           {"HostId", "H"},
                                           {"InstallationId", "I"},
                                           {"SessionId", "S"},
                                           {"DeviceId", "D"}}};
    std::vector<IJsonTokenRequester::ResultFunction> tokenRequests;
    RecordingErrorHandler errorHandler;
};

TEST_F(EventBlockSenderTest, BlocksCarryTheTokenIdentifiersAndEventsInOrder) {
    auto sender = makeSender();
    sender->sendEvents({event("one", "checkpoint"), event("two")}, IEventBlockSender::Asynchronous);
    ASSERT_EQ(platform.created(), 1u);
    const auto& seen = platform.seen(0);
    EXPECT_EQ(seen.url, "https://mon.example//api/sendEvents");
    EXPECT_EQ(seen.operation, IHttpQuery::Post);
    EXPECT_EQ(seen.contentType, "application/json");
    EXPECT_EQ(
        seen.body,
        R"({"MonitoringToken":"tok","Records":{"installationId":"I","component":"Unattended",)"
        R"("computerId":"H","sessionId":"S","deviceId":"D","events":[)"
        R"({"time":"2026-12-09T15:05:27.005Z","level":"Info","app":"Unattended","facility":"Test","message":"one","sessionId":"S","tag":"checkpoint"},)"
        R"({"time":"2026-12-09T15:05:27.005Z","level":"Info","app":"Unattended","facility":"Test","message":"two","sessionId":"S"}],)"
        R"("platform":"mac"}})");

    common::metrics::Record record{"websocket-bytes-sent", {{"size", uint32_t{7}}}};
    sender->sendEvents(std::vector<common::metrics::Record>{record},
                       IEventBlockSender::Asynchronous);
    EXPECT_THAT(
        platform.seen(1).body,
        HasSubstr(R"("events":[{"tag":"websocket-bytes-sent","size":7}],"platform":"mac"})"));
    sender->sendEvents(std::vector<JsonLogEvent>{}, IEventBlockSender::Asynchronous);
    EXPECT_THAT(platform.seen(2).body, HasSubstr(R"("events":[])"));
}

TEST_F(EventBlockSenderTest, AsynchronousQueriesLiveUntilFinishedBlockingOnesAreWaitedFor) {
    auto sender = makeSender();
    sender->sendEvents(batch("async"), IEventBlockSender::Asynchronous);
    EXPECT_EQ(sender->runningQueryCount(), 1u);
    EXPECT_FALSE(platform.seen(0).destroyed);
    platform.query(0)->succeed("");
    EXPECT_EQ(sender->runningQueryCount(), 0u);
    EXPECT_TRUE(platform.seen(0).destroyed);

    sender->sendEvents(batch("blocking"), IEventBlockSender::Blocking);
    EXPECT_EQ(platform.seen(1).waitedMs, 5000);
    EXPECT_TRUE(platform.seen(1).executed);
    EXPECT_TRUE(platform.seen(1).destroyed);  // its outcome is not looked at
    EXPECT_EQ(sender->runningQueryCount(), 0u);
    EXPECT_EQ(sender->pendingRequestCount(), 0u);
}

TEST_F(EventBlockSenderTest, EmptyMonitoringUrlRenewsAndSendsTheKeptBlocksInOrder) {
    params.removeValue("MonitoringUrl");
    params.removeValue("MonitoringToken");
    auto sender = makeSender();
    sender->sendEvents(batch("first"), IEventBlockSender::Asynchronous);
    EXPECT_EQ(platform.created(), 0u);
    scheduler->runDue();
    ASSERT_EQ(tokenRequests.size(), 1u);
    EXPECT_TRUE(sender->isRenewing());
    sender->sendEvents(batch("second"), IEventBlockSender::Asynchronous);
    sender->sendEvents(batch("third"), IEventBlockSender::Asynchronous);
    EXPECT_EQ(platform.created(), 0u);
    EXPECT_EQ(tokenRequests.size(), 1u);  // one renewal for all of them

    tokenRequests[0](IJsonTokenRequester::Success, "https://new.example", "fresh");
    scheduler->runDue();
    ASSERT_EQ(platform.created(), 3u);
    EXPECT_EQ(sentMessage(0), "first");
    EXPECT_EQ(sentMessage(1), "second");
    EXPECT_EQ(sentMessage(2), "third");
    EXPECT_EQ(platform.seen(0).url, "https://new.example/api/sendEvents");
    EXPECT_THAT(platform.seen(0).body, HasSubstr(R"({"MonitoringToken":"fresh",)"));
    EXPECT_EQ(params.getValue("MonitoringUrl", ""), "https://new.example");
    EXPECT_EQ(params.getValue("MonitoringToken", ""), "fresh");
    EXPECT_EQ(logs->count(common::ILogger::Error, "MonitoringUrl is empty"), 1u);
}

TEST_F(EventBlockSenderTest, RefusedTokenRenewsAtMostEvery30Seconds) {
    auto sender = makeSender();
    sender->sendEvents(batch("a"), IEventBlockSender::Asynchronous);
    platform.query(0)->fail(IHttpQuery::ContentAccessDenied);
    EXPECT_TRUE(errorHandler.errors.empty());  // a refused token is not reported
    scheduler->runDue();
    ASSERT_EQ(tokenRequests.size(), 1u);
    tokenRequests[0](IJsonTokenRequester::Success, "https://mon.example", "t2");
    scheduler->runDue();
    ASSERT_EQ(platform.created(), 2u);
    EXPECT_THAT(platform.seen(1).body, HasSubstr(R"("MonitoringToken":"t2")"));

    scheduler->advance(10000ms);
    platform.query(1)->fail(IHttpQuery::ContentAccessDenied);  // refused again at once
    scheduler->advance(19000ms);
    EXPECT_EQ(tokenRequests.size(), 1u);
    scheduler->advance(1100ms);
    EXPECT_EQ(tokenRequests.size(), 2u);
}

TEST_F(EventBlockSenderTest, OtherQtErrorsAreReportedAndRetriedWithGrowingDelays) {
    auto sender = makeSender();
    sender->sendEvents(batch("a"), IEventBlockSender::Asynchronous);
    platform.query(0)->fail(IHttpQuery::InternalServerError);
    EXPECT_EQ(errorHandler.errors, std::vector<std::string>({"InternalServerError"}));
    EXPECT_EQ(sender->pendingRequestCount(), 1u);
    EXPECT_TRUE(tokenRequests.empty());

    scheduler->advance(4900ms);
    EXPECT_EQ(platform.created(), 1u);
    scheduler->advance(200ms);  // first retry after 5 s
    ASSERT_EQ(platform.created(), 2u);
    platform.query(1)->fail(IHttpQuery::ServiceUnavailableError);
    scheduler->advance(9900ms);
    EXPECT_EQ(platform.created(), 2u);
    scheduler->advance(200ms);  // then after 10 s
    ASSERT_EQ(platform.created(), 3u);
    platform.query(2)->fail(IHttpQuery::ServiceUnavailableError);
    scheduler->advance(20100ms);
    ASSERT_EQ(platform.created(), 4u);
    platform.query(3)->fail(IHttpQuery::ServiceUnavailableError);
    scheduler->advance(40100ms);
    ASSERT_EQ(platform.created(), 5u);
    platform.query(4)->fail(IHttpQuery::ServiceUnavailableError);  // the fifth failure
    EXPECT_EQ(sender->pendingRequestCount(), 0u);
    EXPECT_EQ(sender->droppedRequests(), 1u);
    scheduler->advance(400000ms);
    EXPECT_EQ(platform.created(), 5u);
    EXPECT_EQ(logs->count(common::ILogger::Warning, "Dropping an event block after 5 failed sends"),
              1u);
}

TEST_F(EventBlockSenderTest, LegacyStatusesAnd403Renewal) {
    params.setValue("UseLegacyNetworking", "1");
    network->script(ScriptedHTTPAnswer::http(202));
    network->script(ScriptedHTTPAnswer::http(500));
    network->script(ScriptedHTTPAnswer::http(403));
    network->script(ScriptedHTTPAnswer::http(202));
    auto sender = makeSender();
    sender->sendEvents(batch("a"), IEventBlockSender::Asynchronous);
    sender->sendEvents(batch("b"), IEventBlockSender::Blocking);  // never waits on this path
    const auto& requests = network->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].url, "https://mon.example//api/sendEvents");
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_THAT(requests[0].body, HasSubstr(R"("message":"a")"));
    EXPECT_EQ(network->connectionsCreated(), 2);  // one connection per block

    network->poll();  // a: 202, b: 500
    EXPECT_EQ(errorHandler.errors, std::vector<std::string>({"500"}));
    EXPECT_EQ(sender->pendingRequestCount(), 1u);
    scheduler->runDue();
    EXPECT_TRUE(tokenRequests.empty());  // no renewal for a 500
    scheduler->advance(5100ms);
    ASSERT_EQ(requests.size(), 3u);  // retried
    EXPECT_THAT(requests[2].body, HasSubstr(R"("message":"b")"));
    network->poll();  // 403
    EXPECT_EQ(errorHandler.errors.size(), 1u);
    scheduler->runDue();
    ASSERT_EQ(tokenRequests.size(), 1u);
    tokenRequests[0](IJsonTokenRequester::Success, "http://other.example", "t3");
    scheduler->runDue();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3].url, "http://other.example/api/sendEvents");
    EXPECT_THAT(requests[3].body, HasSubstr(R"("MonitoringToken":"t3")"));
    EXPECT_THAT(requests[3].body, HasSubstr(R"("message":"b")"));
    network->poll();
    EXPECT_EQ(sender->pendingRequestCount(), 0u);
    EXPECT_EQ(logs->count(common::ILogger::Error,
                          "Event sending request has been denied with the following status code: "
                          "500"),
              1u);
}

TEST_F(EventBlockSenderTest, RenewalOutcomes) {
    int errorSignals = 0;
    struct Case {
        IJsonTokenRequester::RequestResult result;
        std::string url;
        std::string token;
        bool withHandler;
        std::vector<std::string> errors;
        int errorSignalCount;
        bool sent;
    } cases[] = {
        {IJsonTokenRequester::Failed, "", "", true, {}, 0, false},
        {IJsonTokenRequester::Success, "", "", true, {}, 0, false},  // empty values: failed
        {IJsonTokenRequester::Success, "https://m", "", true, {}, 0, false},
        {IJsonTokenRequester::NoToken, "", "", false, {}, 1, false},
        {IJsonTokenRequester::NoToken,
         "",
         "",
         true,
         {"No token available to authenticate for Monitoring token renewal!"},
         1,
         false},
        {IJsonTokenRequester::Rejected,
         "",
         "",
         true,
         {"Backend rejected monitoring token renewal request!"},
         1,
         false},
        {IJsonTokenRequester::Success, "https://m", "t", true, {}, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.result));
        params.removeValue("MonitoringUrl");
        tokenRequests.clear();
        errorHandler.errors.clear();
        errorSignals = 0;
        const std::size_t queries = platform.created();
        auto sender = makeSender();
        auto connection = sender->connectErrorSignal([&] { ++errorSignals; });
        sender->setErrorHandler(c.withHandler ? &errorHandler : nullptr);
        sender->sendEvents(batch("x"), IEventBlockSender::Asynchronous);
        scheduler->runDue();
        ASSERT_EQ(tokenRequests.size(), 1u);
        tokenRequests[0](c.result, c.url, c.token);
        scheduler->runDue();
        EXPECT_FALSE(sender->isRenewing());
        EXPECT_EQ(errorHandler.errors, c.errors);
        EXPECT_EQ(errorSignals, c.errorSignalCount);
        EXPECT_EQ(platform.created() > queries, c.sent);
        EXPECT_EQ(sender->pendingRequestCount(), c.sent ? 0u : 1u);
    }
}

TEST_F(EventBlockSenderTest, ARenewalThatNeverAnswersStopsHoldingBlocks) {
    auto sender = makeSender();
    sender->sendEvents(batch("a"), IEventBlockSender::Asynchronous);
    platform.query(0)->fail(IHttpQuery::ContentAccessDenied);
    scheduler->runDue();
    ASSERT_EQ(tokenRequests.size(), 1u);
    sender->sendEvents(batch("held"), IEventBlockSender::Asynchronous);
    EXPECT_EQ(platform.created(), 1u);

    scheduler->advance(EventBlockSender::kRenewalTimeout + 10ms);
    EXPECT_FALSE(sender->isRenewing());
    sender->sendEvents(batch("after"), IEventBlockSender::Asynchronous);
    EXPECT_EQ(platform.created(), 2u);
    EXPECT_EQ(sentMessage(1), "after");
    // The late answer of the given-up renewal changes nothing.
    tokenRequests[0](IJsonTokenRequester::Success, "https://late", "late");
    scheduler->runDue();
    EXPECT_EQ(params.getValue("MonitoringToken", ""), "tok");
}

TEST_F(EventBlockSenderTest, KeptBlocksAreBounded) {
    params.removeValue("MonitoringUrl");
    auto sender = makeSender();
    const std::size_t limit = EventBlockSender::kMaxPendingRequests;
    for (std::size_t i = 0; i < limit + 3; ++i) {
        sender->sendEvents(batch("m" + std::to_string(i)), IEventBlockSender::Asynchronous);
    }
    EXPECT_EQ(sender->pendingRequestCount(), limit);
    EXPECT_EQ(sender->droppedRequests(), 3u);
    scheduler->runDue();
    ASSERT_EQ(tokenRequests.size(), 1u);
    tokenRequests[0](IJsonTokenRequester::Success, "https://m", "t");
    scheduler->advance(1000ms);
    ASSERT_EQ(platform.created(), limit);
    EXPECT_EQ(sentMessage(0), "m3");  // the oldest were dropped
}

TEST_F(EventBlockSenderTest, LegacySendWithoutFactoryDropsTheBlock) {
    params.setValue("UseLegacyNetworking", "1");
    auto sender = std::make_unique<EventBlockSender>(
        "Unattended", nullptr, scheduler->getTaskQueue("EventBlockSender"), params,
        common::ILogger::create("EventBlockSender"),
        std::make_unique<FakeTokenRequester>(tokenRequests), platform);
    sender->sendEvents(batch("a"), IEventBlockSender::Asynchronous);
    EXPECT_EQ(sender->pendingRequestCount(), 0u);
    EXPECT_EQ(logs->count(common::ILogger::Error,
                          "Failed to lock environment while trying to send events."),
              1u);
}

TEST_F(EventBlockSenderTest, DestroyingTheSenderDropsItsQueriesAndCompletions) {
    params.setValue("UseLegacyNetworking", "1");
    network->script(ScriptedHTTPAnswer::http(500));
    auto sender = makeSender();
    sender->sendEvents(batch("a"), IEventBlockSender::Asynchronous);
    params.setValue("UseLegacyNetworking", "0");
    sender->sendEvents(batch("b"), IEventBlockSender::Asynchronous);
    sender.reset();
    EXPECT_TRUE(platform.seen(0).destroyed);
    EXPECT_EQ(network->poll(), 1u);  // reaches nothing
    EXPECT_TRUE(errorHandler.errors.empty());
}

// The Qt path against the aiohttp stand-ins of the monitoring service and the backend, reached
// as the HTTP proxy of made-up hosts (the base URL check allows no port).
TEST(EventBlockSenderQtTest, RefusedTokenIsRenewedAndTheBlockSentAgain) {
    auto logs = testsupport::LogCapture::install();
    MonitoringStub stub(R"({
        "/api/sendEvents": [{"status": 403}, {"status": 202}],
        "/Unattended/api/RequestVarnexToken": [{"status": 201,
            "body": "{\"MonitoringUrl\":\"http://monitoring.test\",\"MonitoringToken\":\"fresh\"}"}]})");
    ASSERT_TRUE(stub.ready());
    testsupport::ScopedEnv proxy("http_proxy", stub.url());
    testsupport::ScopedEnv noProxy("no_proxy", std::nullopt);
    auto scheduler = ManualScheduler::create();
    testsupport::NoCredentials credentials;
    auto platform = std::make_unique<QtPlatform>(scheduler.get(), &credentials, "test");
    MemoryParams params(
        std::map<std::string, std::string>{{"MonitoringUrl", "http://monitoring.test"},
                                           {"MonitoringToken", "stale"},
                                           {"BaseUrl", "http://backend.test"},
                                           {"InstallationId", "I1"}});
    {
        EventBlockSender sender("Unattended", nullptr, scheduler->getTaskQueue("EventBlockSender"),
                                params, common::ILogger::create("EventBlockSender"),
                                std::make_unique<common::JsonTokenRequester>(
                                    std::weak_ptr<extension::IEnvironment>(), *platform, params,
                                    common::ILogger::create("JsonTokenRequester")),
                                *platform, [&] { return scheduler->now(); });
        sender.sendEvents(batch("over the wire"), IEventBlockSender::Asynchronous);
        const auto requests =
            stub.waitForRequests(3, std::chrono::seconds(60), [&] { scheduler->runDue(); });
        ASSERT_EQ(requests.size(), 3u);
        EXPECT_EQ(requests[0].path, "/api/sendEvents");
        EXPECT_THAT(requests[0].body,
                    HasSubstr(R"({"MonitoringToken":"stale","Records":{"installationId":"I1")"));
        EXPECT_EQ(requests[1].path, "/Unattended/api/RequestVarnexToken");
        EXPECT_EQ(requests[1].body,
                  R"({"SessionType":"","DeviceToken":"","MonitoringToken":"stale"})");
        EXPECT_EQ(requests[2].path, "/api/sendEvents");
        EXPECT_THAT(requests[2].body, HasSubstr(R"({"MonitoringToken":"fresh",)"));
        EXPECT_THAT(requests[2].body, HasSubstr(R"("message":"over the wire")"));
        ASSERT_TRUE(
            telemetrytest::runUntil(*scheduler, [&] { return sender.runningQueryCount() == 0; }));
        EXPECT_EQ(sender.pendingRequestCount(), 0u);
        EXPECT_EQ(params.getValue("MonitoringToken", ""), "fresh");
    }
    platform.reset();
}

// The foundation client path against the aiohttp monitoring stand-in: a refused block is
// reported, retried after its delay and accepted.
TEST(EventBlockSenderLegacyTest, AFailedBlockIsRetriedAgainstTheRealService) {
    auto logs = testsupport::LogCapture::install();
    MonitoringStub stub(R"({"/api/sendEvents": [{"status": 500}, {"status": 202}]})");
    ASSERT_TRUE(stub.ready());
    auto scheduler = ManualScheduler::create();
    auto environment = std::make_shared<extension::EventLoopEnvironment>();
    FakeQtPlatform platform;
    MemoryParams params(std::map<std::string, std::string>{
        {"MonitoringUrl", stub.url()}, {"MonitoringToken", "tok"}, {"UseLegacyNetworking", "1"}});
    std::vector<IJsonTokenRequester::ResultFunction> tokenRequests;
    RecordingErrorHandler errors;
    EventBlockSender sender("Unattended", environment->GetNetworkFactory(),
                            scheduler->getTaskQueue("EventBlockSender"), params,
                            common::ILogger::create("EventBlockSender"),
                            std::make_unique<FakeTokenRequester>(tokenRequests), platform,
                            [&] { return scheduler->now(); });
    sender.setErrorHandler(&errors);
    sender.sendEvents(batch("legacy"), IEventBlockSender::Asynchronous);
    ASSERT_TRUE(telemetrytest::runUntil(*scheduler, [&] {
        environment->PollEventLoop();
        return !errors.errors.empty();
    }));
    EXPECT_EQ(errors.errors, std::vector<std::string>({"500"}));
    EXPECT_EQ(sender.pendingRequestCount(), 1u);

    scheduler->advance(5100ms);  // the retry
    ASSERT_TRUE(telemetrytest::runUntil(*scheduler, [&] {
        environment->PollEventLoop();
        return stub.requests().size() == 2 && sender.pendingRequestCount() == 0;
    }));
    const auto requests = stub.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].contentType, "application/json");
    EXPECT_THAT(requests[1].body, HasSubstr(R"({"MonitoringToken":"tok","Records":{)"));
    EXPECT_THAT(requests[1].body, HasSubstr(R"("message":"legacy")"));
    EXPECT_TRUE(tokenRequests.empty());
    EXPECT_EQ(platform.created(), 0u);
}

}  // namespace
