#include "helper/client/HelperClient.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/util/Util.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/helper/tests/support/AgentQueue.h"
#include "lib/helper/tests/support/HelperStandIn.h"
#include "platform/process/Process.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using helper::ApplicationType;
using helper::HelperClient;
using helpertest::AgentQueue;
using helpertest::HelperStandIn;
using testsupport::MemoryParams;
using Runs = std::vector<std::vector<std::string>>;

namespace {

// Values a shell would have split, expanded or run.
MemoryParams awkwardParams() {
    return MemoryParams({{"InstallationId", "inst id; touch /tmp/pwned"},
                         {"HostId", ""},
                         {"InstanceId", "\"quoted\" 'single' $HOME `id`"},
                         {"MonitoringUrl", "https://m.example/a?b=1&c=2"},
                         {"MonitoringToken", "tok & en"}});
}

std::vector<std::string> installVector(const std::string& helperId) {
    return {"-install",
            "-HelperId",
            helperId,
            "-starterpid",
            std::to_string(::getpid()),
            "-InstallationId",
            "inst id; touch /tmp/pwned",
            "-HostId",
            "",
            "-InstanceId",
            "\"quoted\" 'single' $HOME `id`",
            "-MonitoringUrl",
            "https://m.example/a?b=1&c=2",
            "-MonitoringToken",
            "tok & en"};
}

}  // namespace

TEST(HelperClient, HelperToolIsTheOneBesideTheExecutable) {
    EXPECT_EQ(HelperClient::getHelperToolPath(),
              common::util::getExecutablePath() / "OrvantaRemoteSupportHelper");
    EXPECT_TRUE(boost::filesystem::exists(HelperClient::getHelperToolPath()));
}

TEST(HelperClient, InstallRunsTheHelperToolWithTheExactArgumentVector) {
    HelperStandIn standIn;
    MemoryParams params = awkwardParams();
    EXPECT_TRUE(HelperClient::installHelperService("k3J9x0Qa7L", params));
    EXPECT_EQ(standIn.runs(), Runs{installVector("k3J9x0Qa7L")});

    // Unset parameters are empty arguments, not missing ones.
    HelperStandIn second;
    MemoryParams empty;
    EXPECT_TRUE(HelperClient::installHelperService("", empty));
    EXPECT_EQ(second.runs(),
              (Runs{{"-install", "-HelperId", "", "-starterpid", std::to_string(::getpid()),
                     "-InstallationId", "", "-HostId", "", "-InstanceId", "", "-MonitoringUrl", "",
                     "-MonitoringToken", ""}}));
}

TEST(HelperClient, UninstallRunsTheHelperToolWithTheExactArgumentVector) {
    HelperStandIn standIn;
    EXPECT_TRUE(HelperClient::uninstallHelperService("a b&c", "", "host;id", true));
    EXPECT_TRUE(HelperClient::uninstallHelperService("", "i", "", false));
    EXPECT_EQ(
        standIn.runs(),
        (Runs{{"-uninstall", "-HelperId", "a b&c", "-InstallationId", "", "-HostId", "host;id"},
              {"-uninstall", "-HelperId", "", "-InstallationId", "i", "-HostId", ""}}));
}

TEST(HelperClient, ANonZeroExitIsAFailure) {
    HelperStandIn standIn;
    MemoryParams params;
    standIn.setInstallExit(3);
    EXPECT_FALSE(HelperClient::installHelperService("id", params));
    EXPECT_TRUE(HelperClient::uninstallHelperService("id", "", "", false));
    standIn.setUninstallExit(1);
    EXPECT_FALSE(HelperClient::uninstallHelperService("id", "", "", false));
    standIn.setInstallExit(0);
    EXPECT_TRUE(HelperClient::installHelperService("id", params));
    EXPECT_EQ(standIn.runs().size(), 4u);
}

TEST(HelperClient, TheLoggedCommandLineMasksTheToken) {
    auto log = testsupport::LogCapture::install();
    HelperStandIn standIn;
    MemoryParams params = awkwardParams();
    ASSERT_TRUE(HelperClient::installHelperService("k3J9x0Qa7L", params));
    EXPECT_FALSE(log->anyContains("tok & en"));
    EXPECT_TRUE(log->anyContains("-MonitoringToken ***"));
}

TEST(HelperClient, AHelperToolThatDoesNotEndIsKilledAndCountsAsFailed) {
    HelperStandIn standIn;
    testsupport::ScopedEnv sleep("ORV_STANDIN_HELPER_SLEEP", std::string("60"));
    HelperClient::setCommandTimeLimit(std::chrono::milliseconds(300));
    MemoryParams params;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(HelperClient::installHelperService("id", params));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    HelperClient::setCommandTimeLimit(std::chrono::minutes(5));
}

// Without a helper tool beside the executable nothing runs. The check runs in a copy of this
// test program placed in a folder of its own.
TEST(HelperClient, WithoutTheHelperToolNothingRuns) {
    if (std::getenv("ORV_HELPER_CLIENT_ALONE") != nullptr) {
        auto log = testsupport::LogCapture::install();
        ASSERT_FALSE(boost::filesystem::exists(HelperClient::getHelperToolPath()));
        MemoryParams params = awkwardParams();
        EXPECT_FALSE(HelperClient::installHelperService("id", params));
        EXPECT_FALSE(HelperClient::uninstallHelperService("id", "", "", false));
        EXPECT_TRUE(log->anyContains("helper tool not found"));
        return;
    }
    HelperStandIn standIn;
    testsupport::TempDir alone;
    const auto copy = alone / "helper_client_tests";
    boost::filesystem::copy_file(common::util::getExecutablePathAndFilename(), copy);
    boost::filesystem::permissions(copy, boost::filesystem::owner_all);
    testsupport::ScopedEnv marker("ORV_HELPER_CLIENT_ALONE", std::string("1"));
    const auto result = standin::Process::run(
        copy.string(), {"--gtest_filter=HelperClient.WithoutTheHelperToolNothingRuns"});
    EXPECT_TRUE(result.succeeded()) << result.status;
    EXPECT_TRUE(standIn.runs().empty());
}

TEST(HelperClient, LaunchRequestReachesTheAgentQueueOfTheSessionUser) {
    AgentQueue agent;
    unsigned long actual = 0;
    const std::vector<std::wstring> arguments{
        L"-InstanceId",     L"k3J9x0Qa7L",       L"-Lang",   L"",
        L"-ProcessAddress", L"UnattendedUi-501", L"-HostId", L"J\u00fcrgen \"&\""};
    ASSERT_TRUE(HelperClient::sendRequestLaunchApplication(
        agent.helperId, agent.uid, ApplicationType::UnattendedUi, arguments, false, false, actual));
    EXPECT_EQ(actual, agent.uid);
    ASSERT_TRUE(HelperClient::sendRequestLaunchApplication(
        agent.helperId, agent.uid, ApplicationType::AppletUi, {}, true, true, actual));
    ASSERT_TRUE(HelperClient::sendRequestKillApplication(agent.helperId, agent.uid,
                                                         ApplicationType::UnattendedUi));

    std::string text;
    unsigned int priority = 0;
    ASSERT_TRUE(agent.receive(text, priority));
    EXPECT_EQ(priority, 1u);
    EXPECT_EQ(text,
              "{\"message\":{\"application\":4,\"arguments\":[\"-InstanceId\",\"k3J9x0Qa7L\","
              "\"-Lang\",\"\",\"-ProcessAddress\",\"UnattendedUi-501\",\"-HostId\","
              "\"J\xc3\xbcrgen \\\"&\\\"\"],\"$\":\"RequestLaunchApplication\"}}");
    ASSERT_TRUE(agent.receive(text, priority));
    EXPECT_EQ(text,
              R"({"message":{"application":2,"arguments":[],"$":"RequestLaunchApplication"}})");
    ASSERT_TRUE(agent.receive(text, priority));
    EXPECT_EQ(priority, 1u);
    EXPECT_EQ(text, R"({"message":{"application":4,"$":"RequestKillApplication"}})");
}

TEST(HelperClient, RequestToAUserWithoutAgentAnswersFalse) {
    auto log = testsupport::LogCapture::install();
    const std::string helperId = helpertest::uniqueHelperId();
    unsigned long actual = 0;
    EXPECT_FALSE(
        HelperClient::sendRequestKillApplication(helperId, 502, ApplicationType::UnattendedUi));
    EXPECT_FALSE(HelperClient::sendRequestLaunchApplication(
        helperId, 503, ApplicationType::UnattendedUi, {L"-Lang", L"de"}, false, false, actual));
    EXPECT_EQ(actual, 503u);
    EXPECT_EQ(log->all().size(), 4u);
}

TEST(HelperClient, EveryHelperProcessCountsAsRunning) {
    for (int kind = 0; kind <= 5; ++kind) {
        EXPECT_TRUE(HelperClient::isProcessRunnig(static_cast<ApplicationType>(kind)));
    }
}

TEST(HelperClient, ActiveUserIsTheConsoleUser) {
    testsupport::TempDir root;
    testsupport::ScopedEnv env("ORV_SYSTEM_ROOT", root.path().string());
    EXPECT_EQ(HelperClient::GetActiveUserId(), HelperClient::kNoConsoleUser);
    root.write("var/run/console-user", "501\n");
    EXPECT_EQ(HelperClient::GetActiveUserId(), 501u);
    root.write("var/run/console-user", "0");
    EXPECT_EQ(HelperClient::GetActiveUserId(), 0u);
}
