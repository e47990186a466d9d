#include "testsupport/ServerProcess.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

using testsupport::ServerProcess;

TEST(ServerProcess, StartsWaitsForThePortAndStops) {
    const unsigned short port = testsupport::freePort();
    ServerProcess server({"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1",
                          std::to_string(port)});
    ASSERT_TRUE(server.waitForPort("127.0.0.1", port));
    EXPECT_TRUE(server.running());
    const int status = server.stop();
    EXPECT_TRUE(WIFSIGNALED(status) || WIFEXITED(status));
    EXPECT_FALSE(testsupport::portAccepts("127.0.0.1", port));
}

TEST(ServerProcess, AProgramThatEndsIsNoServer) {
    ServerProcess server({"/bin/false"});
    EXPECT_FALSE(server.waitForPort("127.0.0.1", testsupport::freePort()));
}
