// The requests as another process reads them from the queue: the project's peer tool creates the
// queue (as the helper tool's agent would) and prints the raw bytes of each message.

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helper/client/HelperClient.h"
#include "lib/helper/tests/support/AgentQueue.h"
#include "lib/helper/tests/support/IpcPeer.h"

using helper::ApplicationType;
using helper::HelperClient;
using helpertest::IpcPeer;

TEST(PeerTool, ReadsTheExactLaunchAndKillTexts) {
    // The peer names its queue "<prefix>_<participant>"; a helper id with "_" makes that the
    // request queue name "orvmq-<helper id>-<uid>".
    const std::string stem = helpertest::uniqueHelperId();
    const std::string helperId = stem + "_q";
    const unsigned long uid = ::getuid();
    IpcPeer peer({"raw", "orvmq-" + stem, "q-" + std::to_string(uid)});
    ASSERT_EQ(peer.readLine(), "ready");

    unsigned long actual = 0;
    ASSERT_TRUE(HelperClient::sendRequestLaunchApplication(
        helperId, uid, ApplicationType::UnattendedUi,
        {L"-InstanceId", L"k3J9x0Qa7L", L"-Lang", L"", L"-MonitoringToken", L"a&b; c \"d\"",
         L"-ProcessAddress", L"UnattendedUi-501"},
        false, false, actual));
    ASSERT_TRUE(
        HelperClient::sendRequestKillApplication(helperId, uid, ApplicationType::UnattendedUi));

    peer.command("rawrecv 5000");
    const std::string launch = peer.readLine();
    ASSERT_EQ(launch.compare(0, 4, "raw "), 0) << launch;
    EXPECT_EQ(IpcPeer::fromHex(launch.substr(4)),
              R"({"message":{"application":4,"arguments":["-InstanceId","k3J9x0Qa7L","-Lang","",)"
              R"("-MonitoringToken","a&b; c \"d\"","-ProcessAddress","UnattendedUi-501"],)"
              R"("$":"RequestLaunchApplication"}})");
    peer.command("rawrecv 5000");
    const std::string kill = peer.readLine();
    ASSERT_EQ(kill.compare(0, 4, "raw "), 0) << kill;
    EXPECT_EQ(IpcPeer::fromHex(kill.substr(4)),
              R"({"message":{"application":4,"$":"RequestKillApplication"}})");
    peer.command("rawrecv 100");
    EXPECT_EQ(peer.readLine(), "none");
}
