#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/INetworkFactory.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/ServerProcess.h"
#include "testsupport/TempDir.h"

namespace extension {
namespace {

class EventLoopEnvironmentTest : public ::testing::Test {
protected:
    testsupport::TempDir m_Root;
    testsupport::ScopedEnv m_RootEnv{"ORV_SYSTEM_ROOT", m_Root.path().string()};
};

TEST_F(EventLoopEnvironmentTest, OneFactoryOneServiceAndTasksRunOnlyWhenPolled) {
    auto environment = std::make_shared<EventLoopEnvironment>();
    EXPECT_EQ(environment->GetNetworkFactory(), environment->GetNetworkFactory());
    EXPECT_NE(environment->GetNetworkFactory(), nullptr);
    EXPECT_EQ(environment->GetJobService()->GetName(), "EventLoopAsyncService");
    EXPECT_FALSE(environment->GetJobService()->HasOwnThread());
    EXPECT_NE(environment->GetPersistentStore(), nullptr);

    environment->PollEventLoop();  // nothing ready: returns at once
    int ran = 0;
    environment->ScheduleTask(std::chrono::steady_clock::now() - std::chrono::seconds(1),
                              [&ran] { ++ran; });
    EXPECT_EQ(ran, 0);
    environment->PollEventLoop();
    EXPECT_EQ(ran, 1);
}

TEST_F(EventLoopEnvironmentTest, AGetThroughTheFactoryCompletesInsidePollEventLoop) {
    // A one-shot HTTP peer.
    const unsigned short port = testsupport::freePort();
    const std::string script =
        "import socket\n"
        "s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
        "s.bind(('127.0.0.1', " +
        std::to_string(port) +
        ")); s.listen(1)\n"
        "while True:\n"
        "    c, _ = s.accept(); data = b''\n"
        "    while b'\\r\\n\\r\\n' not in data:\n"
        "        chunk = c.recv(4096)\n"
        "        if not chunk: break\n"
        "        data += chunk\n"
        "    if b'\\r\\n\\r\\n' in data:\n"
        "        c.sendall(b'HTTP/1.1 200 OK\\r\\nContent-Length: 5\\r\\n\\r\\nhello')\n"
        "    c.close()\n";
    testsupport::ServerProcess server({"/usr/bin/python3", "-c", script});
    ASSERT_TRUE(server.waitForPort("127.0.0.1", port));

    auto environment = std::make_shared<EventLoopEnvironment>();
    int status = -1;
    std::string body;
    {
        auto connection = environment->GetNetworkFactory()->CreateHTTPConnection();
        connection->Submit(
            "http://127.0.0.1:" + std::to_string(port) + "/",
            [&](network::HTTPStatusCode code, std::unique_ptr<network::IHTTPResponse> response) {
                status = static_cast<int>(code);
                if (response) {
                    const auto bytes = response->FetchBody();
                    body.assign(bytes.begin(), bytes.end());
                }
            });
    }  // the caller lets go of the handle at once
    EXPECT_EQ(status, -1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (status == -1 && std::chrono::steady_clock::now() < end) {
        environment->PollEventLoop();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body, "hello");
}

}  // namespace
}  // namespace extension
