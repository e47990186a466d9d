#include "common/loggerbuilder/LoggerBuilder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <string>

#include "../telemetrysupport/FactoryEnvironment.h"
#include "../telemetrysupport/FakeQtPlatform.h"
#include "../telemetrysupport/MonitoringStub.h"
#include "../telemetrysupport/RealQtPlatform.h"
#include "../telemetrysupport/ScriptedNetwork.h"
#include "common/logger/Logger.h"
#include "common/metrics/MetricsAccumulator.h"
#include "common/tokenrequester/JsonTokenRequester.h"
#include "common/util/Util.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "platform/process/Process.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using common::IJsonTokenRequester;
using common::ILogger;
using common::LoggerBuilder;
using telemetrytest::FakeQtPlatform;
using telemetrytest::MonitoringStub;
using testing::HasSubstr;
using testsupport::ManualScheduler;
using testsupport::MemoryParams;
using namespace std::chrono_literals;

namespace {

class NoTokens : public IJsonTokenRequester {
public:
    void requestToken(ResultFunction&& result) override { result(Failed, "", ""); }
};

std::string uniqueName(const std::string& stem) {
    return stem + common::util::generateNanoId(8, "abcdefghijklmnopqrstuvwxyz");
}

class LoggerBuilderTest : public ::testing::Test {
protected:
    void TearDown() override { common::Logger::stop(); }

    MemoryParams params;
    std::shared_ptr<ManualScheduler> scheduler = ManualScheduler::create();
    FakeQtPlatform platform;
    std::shared_ptr<testsupport::ScriptedNetwork> network =
        std::make_shared<testsupport::ScriptedNetwork>();
    telemetrytest::FactoryEnvironment environment{network->makeFactory()};
};

TEST_F(LoggerBuilderTest, LogLevelDefaultsToInfoAndIsWrittenBack) {
    {
        LoggerBuilder builder("Unattended", params);
        EXPECT_EQ(params.getValue("LogLevel", ""), "2");
        EXPECT_EQ(ILogger::create("x")->getLevel(), ILogger::Info);
    }
    params.setValue("LogLevel", "0");
    LoggerBuilder builder("Unattended", params);
    EXPECT_EQ(params.getValue("LogLevel", ""), "0");
    EXPECT_EQ(ILogger::create("x")->getLevel(), ILogger::Trace);
}

TEST_F(LoggerBuilderTest, LogFileIsNamedAfterTheProgramAndReplacedWhenAddedAgain) {
    LoggerBuilder builder("Unattended", params);
    const std::string tool = uniqueName("Tool");
    const fs::path writePath = common::util::getUserWritePath();
    ASSERT_TRUE(LoggerBuilder::addFileSink("/opt/x/" + tool + ".bin", L"srv"));
    ASSERT_TRUE(LoggerBuilder::addFileSink("/other/" + tool, L"srv"));  // the same file
    ILogger::create("Test")->info("one line %s", tool.c_str());
    common::Logger::stop();
    LoggerBuilder again("Unattended", params);
    ASSERT_TRUE(LoggerBuilder::addFileSink("/other/" + tool, L""));
    ILogger::create("Test")->info("one line %s", tool.c_str());
    common::Logger::stop();

    const fs::path service = writePath / (tool + ".srv.log");
    const fs::path plain = writePath / (tool + ".log");
    const std::string serviceText = testsupport::TempDir::read(service);
    std::size_t lines = 0;
    for (std::size_t at = serviceText.find("one line"); at != std::string::npos;
         at = serviceText.find("one line", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 1u);  // one sink for the service file, not two
    EXPECT_THAT(testsupport::TempDir::read(plain), HasSubstr("one line " + tool));
    fs::remove(service);
    fs::remove(plain);
}

TEST_F(LoggerBuilderTest, WithoutSenderNoJsonSinkAndNoMetricsCollector) {
    LoggerBuilder builder("Unattended", params);
    builder.addJsonSink(scheduler);
    EXPECT_EQ(scheduler->getTasksSize(), 0u);
    EXPECT_EQ(builder.createMetricsCollector(scheduler), nullptr);
    builder.setErrorHandlerForEventBlockSender(nullptr);  // harmless

    LoggerBuilder::addSinkForQtPlatform(platform);
    EXPECT_NE(platform.loggingSink, nullptr);
}

TEST_F(LoggerBuilderTest, SenderIsSharedByJsonSinkAndMetricsCollector) {
    params.setValue("InstanceId", uniqueName("lb"));
    LoggerBuilder builder("Unattended", params);
    builder.createEventBlockSender("Unattended", scheduler, &environment, platform,
                                   std::make_unique<NoTokens>());
    const auto sender = builder.getEventBlockSender();
    ASSERT_NE(sender, nullptr);
    builder.addJsonSink(scheduler);
    auto collector = builder.createMetricsCollector(scheduler);
    ASSERT_NE(collector, nullptr);
    EXPECT_EQ(sender.use_count(), 4);  // the builder, the sink's and the metrics' collectors, here

    builder.createEventBlockSender("Unattended", scheduler, nullptr, platform,
                                   std::make_unique<NoTokens>());
    EXPECT_NE(builder.getEventBlockSender(), sender);  // replaced
    collector.reset();
}

// The whole assembly against the aiohttp monitoring stand-in (reached as the HTTP proxy of a
// made-up host): the program's own records, a companion's forwarded records and the metrics
// reach the service.
TEST_F(LoggerBuilderTest, RecordsAndMetricsReachTheMonitoringService) {
    MonitoringStub stub(R"({"/api/sendEvents": [{"status": 202}]})");
    ASSERT_TRUE(stub.ready());
    testsupport::ScopedEnv proxy("http_proxy", stub.url());
    testsupport::ScopedEnv noProxy("no_proxy", std::nullopt);
    testsupport::NoCredentials credentials;
    auto qt = std::make_unique<QtPlatform>(scheduler.get(), &credentials, "test");
    const std::string instance = uniqueName("lbe");
    params.setValue("InstanceId", instance);
    params.setValue("SessionId", "S9");
    params.setValue("MonitoringUrl", "http://monitoring.test");
    params.setValue("MonitoringToken", "tok");
    {
        LoggerBuilder builder("Unattended", params);
        builder.createEventBlockSender("Unattended", scheduler, nullptr, *qt,
                                       std::make_unique<NoTokens>());
        builder.addJsonSink(scheduler);
        auto collector = builder.createMetricsCollector(scheduler);
        common::metrics::MetricsAccumulator<uint32_t> accumulator("websocket-bytes-sent",
                                                                  collector);
        accumulator.accumulate("size", 42);

        ILogger::create("Session")->info("own record");
        ILogger::create("Session")->trace("never uploaded");
        ASSERT_TRUE(standin::Process::run(LOG_FORWARDER_PROGRAM, {instance, "helper"}).succeeded());
        scheduler->advance(200ms);  // the sink drains its data link

        common::Logger::stop();  // flushes the JSON sink: a blocking upload
        collector->flush();
        collector.reset();
    }
    const auto requests = stub.waitForRequests(2);
    ASSERT_EQ(requests.size(), 2u);
    const std::string& events = requests[0].body;
    EXPECT_THAT(events, HasSubstr(R"({"MonitoringToken":"tok","Records":{)"));
    EXPECT_THAT(events,
                HasSubstr(R"("facility":"Session","message":"own record","sessionId":"S9")"));
    EXPECT_THAT(events, HasSubstr(R"("app":"Helper","facility":"Forwarder","message":"hello")"));
    EXPECT_THAT(events, testing::Not(HasSubstr("never uploaded")));
    EXPECT_THAT(events, testing::Not(HasSubstr("hunter2")));
    EXPECT_THAT(requests[1].body,
                HasSubstr(R"("events":[{"tag":"websocket-bytes-sent","size":42}])"));
    qt.reset();
}

}  // namespace
