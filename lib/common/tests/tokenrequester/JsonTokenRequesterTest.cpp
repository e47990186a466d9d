#include "common/tokenrequester/JsonTokenRequester.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "../support/LogCapture.h"
#include "../telemetrysupport/FactoryEnvironment.h"
#include "../telemetrysupport/FakeQtPlatform.h"
#include "../telemetrysupport/MonitoringStub.h"
#include "../telemetrysupport/RealQtPlatform.h"
#include "../telemetrysupport/ScriptedNetwork.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "testsupport/ScopedEnv.h"

using common::IJsonTokenRequester;
using common::JsonTokenRequester;
using telemetrytest::FakeQtPlatform;
using telemetrytest::MonitoringStub;
using testing::HasSubstr;
using testsupport::MemoryParams;
using testsupport::ScriptedHTTPAnswer;
using testsupport::ScriptedNetwork;

namespace {

struct Outcome {
    int calls = 0;
    IJsonTokenRequester::RequestResult result = IJsonTokenRequester::Success;
    std::string url;
    std::string token;

    IJsonTokenRequester::ResultFunction function() {
        return [this](IJsonTokenRequester::RequestResult r, const std::string& u,
                      const std::string& t) {
            ++calls;
            result = r;
            url = u;
            token = t;
        };
    }
};

class JsonTokenRequesterTest : public ::testing::Test {
protected:
    JsonTokenRequester makeRequester() {
        return JsonTokenRequester(environment, platform, params,
                                  common::ILogger::create("JsonTokenRequester"));
    }

    std::shared_ptr<testsupport::LogCapture> logs = testsupport::LogCapture::install();
    FakeQtPlatform platform;
    std::shared_ptr<ScriptedNetwork> network = std::make_shared<ScriptedNetwork>();
    std::shared_ptr<extension::IEnvironment> environment =
        std::make_shared<telemetrytest::FactoryEnvironment>(network->makeFactory());
    MemoryParams params;
    Outcome outcome;
};

TEST_F(JsonTokenRequesterTest, BaseUrlAndTokenChecks) {
    const std::string longToken(1001, 'a');
    struct Case {
        std::string baseUrl;
        std::string monitoringToken;
        std::string deviceToken;
        std::optional<IJsonTokenRequester::RequestResult> result;  // none: the request is made
    } cases[] = {
        {"https://backend-1.example.com", "m", "", std::nullopt},
        {"wss://backend.example.com/", "m", "", std::nullopt},
        {"http://a_b", "", "dev=ice._-", std::nullopt},
        {"", "m", "", IJsonTokenRequester::Failed},
        {"https://backend.example.com:443", "m", "", IJsonTokenRequester::Failed},
        {"https://backend.example.com/api", "m", "", IJsonTokenRequester::Failed},
        {"https://backend.example.com//", "m", "", IJsonTokenRequester::Failed},
        {"ftp://backend.example.com", "m", "", IJsonTokenRequester::Failed},
        {"https://back end", "m", "", IJsonTokenRequester::Failed},
        {"https://b.example", "", "", IJsonTokenRequester::NoToken},
        {"https://b.example", longToken, "valid", IJsonTokenRequester::Failed},
        {"https://b.example", std::string(1000, 'a'), "", std::nullopt},
        {"https://b.example", "with space", "", IJsonTokenRequester::Failed},
        {"https://b.example", "a+b", "valid", IJsonTokenRequester::Failed},
        {"https://b.example", "", "a/b", IJsonTokenRequester::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baseUrl + " / " + c.monitoringToken.substr(0, 20) + " / " + c.deviceToken);
        params.setValue("BaseUrl", c.baseUrl);
        params.setValue("MonitoringToken", c.monitoringToken);
        params.setValue("DeviceToken", c.deviceToken);
        const std::size_t before = platform.created();
        Outcome checked;
        auto requester = makeRequester();
        requester.requestToken(checked.function());
        if (c.result) {
            EXPECT_EQ(checked.calls, 1);
            EXPECT_EQ(checked.result, *c.result);
            EXPECT_EQ(platform.created(), before);
        } else {
            EXPECT_EQ(checked.calls, 0);
            EXPECT_EQ(platform.created(), before + 1);
        }
    }
    EXPECT_TRUE(logs->anyContains(
        "Token used for auth has invalid size while requesting Monitoring Url and Token"));
}

TEST_F(JsonTokenRequesterTest, QtPathSendsTheJsonBodyAndMapsTheOutcome) {
    params.setValue("BaseUrl", "https://backend.example/");
    params.setValue("SessionType", "Unattended");
    params.setValue("DeviceToken", "device");
    auto requester = makeRequester();

    requester.requestToken(outcome.function());
    ASSERT_EQ(platform.created(), 1u);
    const auto& seen = platform.seen(0);
    EXPECT_EQ(seen.url, "https://backend.example//Unattended/api/RequestVarnexToken");
    EXPECT_EQ(seen.operation, IHttpQuery::Get);
    EXPECT_EQ(seen.contentType, "application/json");
    EXPECT_EQ(seen.body,
              R"({"SessionType":"Unattended","DeviceToken":"device","MonitoringToken":""})");
    EXPECT_TRUE(seen.executed);
    platform.query(0)->succeed(R"({"MonitoringUrl":"https://m.example","MonitoringToken":"t1"})");
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.result, IJsonTokenRequester::Success);
    EXPECT_EQ(outcome.url, "https://m.example");
    EXPECT_EQ(outcome.token, "t1");
    EXPECT_TRUE(seen.destroyed);  // released once finished

    struct Case {
        std::function<void(telemetrytest::FakeHttpQuery&)> play;
        IJsonTokenRequester::RequestResult result;
    } cases[] = {
        {[](auto& q) { q.fail(IHttpQuery::ContentAccessDenied); }, IJsonTokenRequester::Rejected},
        {[](auto& q) { q.fail(IHttpQuery::InternalServerError); }, IJsonTokenRequester::Failed},
        {[](auto& q) { q.succeed("not json"); }, IJsonTokenRequester::Failed},
        {[](auto& q) { q.succeed(R"({"MonitoringUrl":5})"); }, IJsonTokenRequester::Failed},
        {[](auto& q) { q.succeed("{}"); }, IJsonTokenRequester::Success},
    };
    for (const auto& c : cases) {
        Outcome each;
        requester.requestToken(each.function());
        const std::size_t n = platform.created() - 1;
        c.play(*platform.query(n));
        EXPECT_EQ(each.calls, 1);
        EXPECT_EQ(each.result, c.result);
        EXPECT_TRUE(platform.seen(n).destroyed);
    }
    EXPECT_TRUE(logs->anyContains(
        "Requesting url and token for Monitoring failed, with the following error: "
        "ContentAccessDenied"));
}

TEST_F(JsonTokenRequesterTest, DestroyedRequesterDropsItsQueries) {
    params.setValue("BaseUrl", "https://backend.example");
    params.setValue("MonitoringToken", "m");
    {
        auto requester = makeRequester();
        requester.requestToken(outcome.function());
        params.setValue("UseLegacyNetworking", "1");
        network->script(
            ScriptedHTTPAnswer::http(201, R"({"MonitoringUrl":"u","MonitoringToken":"t"})"));
        requester.requestToken(outcome.function());
    }
    EXPECT_TRUE(platform.seen(0).destroyed);
    ASSERT_EQ(network->requests().size(), 1u);
    EXPECT_EQ(network->poll(), 1u);
    EXPECT_EQ(outcome.calls, 0);
}

TEST_F(JsonTokenRequesterTest, LegacyPathAcceptsOnly201) {
    params.setValue("BaseUrl", "http://backend.example");
    params.setValue("MonitoringToken", "m");
    params.setValue("UseLegacyNetworking", "1");
    auto requester = makeRequester();

    struct Case {
        int status;
        std::string body;
        IJsonTokenRequester::RequestResult result;
    } cases[] = {
        {201, R"({"MonitoringUrl":"https://m","MonitoringToken":"t"})",
         IJsonTokenRequester::Success},
        {200, R"({"MonitoringUrl":"https://m","MonitoringToken":"t"})",
         IJsonTokenRequester::Failed},
        {201, "{", IJsonTokenRequester::Failed},
        {403, "", IJsonTokenRequester::Rejected},
        {500, "", IJsonTokenRequester::Failed},
        {3, "", IJsonTokenRequester::Failed},
    };
    for (std::size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        Outcome each;
        ScriptedHTTPAnswer answer = ScriptedHTTPAnswer::http(cases[i].status, cases[i].body);
        answer.withResponse = cases[i].status >= 100;  // a transport code comes without one
        network->script(answer);
        requester.requestToken(each.function());
        ASSERT_EQ(network->requests().size(), i + 1);
        const auto& sent = network->requests()[i];
        EXPECT_EQ(sent.url, "http://backend.example/Unattended/api/RequestVarnexToken");
        EXPECT_EQ(sent.method, "GET");
        EXPECT_EQ(sent.contentType, "application/json");
        EXPECT_EQ(sent.body, R"({"SessionType":"","DeviceToken":"","MonitoringToken":"m"})");
        EXPECT_EQ(each.calls, 0);  // the completion comes from the event loop
        network->poll();
        EXPECT_EQ(each.calls, 1) << cases[i].status;
        EXPECT_EQ(each.result, cases[i].result) << cases[i].status;
    }
    EXPECT_EQ(logs->count(common::ILogger::Error,
                          "Requesting url and token for Monitoring failed, with the following "
                          "status code: 403"),
              1u);
}

TEST_F(JsonTokenRequesterTest, LegacyPathWithoutEnvironmentLogsAndReportsNothing) {
    params.setValue("BaseUrl", "http://backend.example");
    params.setValue("MonitoringToken", "m");
    params.setValue("UseLegacyNetworking", "1");
    JsonTokenRequester requester(std::weak_ptr<extension::IEnvironment>(), platform, params,
                                 common::ILogger::create("JsonTokenRequester"));
    requester.requestToken(outcome.function());
    EXPECT_EQ(outcome.calls, 0);
    EXPECT_EQ(
        logs->count(common::ILogger::Error, "Couldn't lock environment to request new json token."),
        1u);
}

// The Qt path against a real HTTP server. The base URL check allows no port, so the stub is
// reached as the HTTP proxy of a made-up host, which Qt takes from "http_proxy".
TEST(JsonTokenRequesterQtTest, TokenFromTheBackendStub) {
    auto logs = testsupport::LogCapture::install();
    MonitoringStub stub(R"({"/Unattended/api/RequestVarnexToken": [
        {"status": 201, "body": "{\"MonitoringUrl\":\"https://mon.example\",\"MonitoringToken\":\"fresh\"}"},
        {"status": 403}]})");
    ASSERT_TRUE(stub.ready());
    testsupport::ScopedEnv proxy("http_proxy", stub.url());
    testsupport::ScopedEnv noProxy("no_proxy", std::nullopt);
    auto scheduler = testsupport::ManualScheduler::create();
    testsupport::NoCredentials credentials;
    auto platform = std::make_unique<QtPlatform>(scheduler.get(), &credentials, "test");
    MemoryParams params(std::map<std::string, std::string>{
        {"BaseUrl", "http://backend.test"}, {"MonitoringToken", "old"}, {"SessionType", "U"}});
    {
        JsonTokenRequester requester(std::weak_ptr<extension::IEnvironment>(), *platform, params,
                                     common::ILogger::create("JsonTokenRequester"));
        Outcome first;
        requester.requestToken(first.function());
        ASSERT_TRUE(telemetrytest::runUntil(*scheduler, [&] { return first.calls > 0; }));
        EXPECT_EQ(first.calls, 1);
        EXPECT_EQ(first.result, IJsonTokenRequester::Success);
        EXPECT_EQ(first.url, "https://mon.example");
        EXPECT_EQ(first.token, "fresh");

        Outcome second;
        requester.requestToken(second.function());
        ASSERT_TRUE(telemetrytest::runUntil(*scheduler, [&] { return second.calls > 0; }));
        EXPECT_EQ(second.result, IJsonTokenRequester::Rejected);
        scheduler->runDue();
        EXPECT_EQ(second.calls, 1);
    }
    const auto requests = stub.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/Unattended/api/RequestVarnexToken");
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_EQ(requests[0].body, R"({"SessionType":"U","DeviceToken":"","MonitoringToken":"old"})");
    platform.reset();
}

}  // namespace
