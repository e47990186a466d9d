#include "testsupport/ServerProcess.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <unistd.h>
#include <fstream>
#include <string>

using testsupport::ServerProcess;

TEST(ServerProcess, StartsWaitsForThePortAndStops) {
    const unsigned short port = testsupport::freePort();
    ServerProcess server(
        {"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", std::to_string(port)});
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

TEST(ServerProcess, EndsWithATestProgramThatDiesWithoutCleaningUp) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t test = ::fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        // A test program that aborts: the server object is never destroyed.
        auto* server = new ServerProcess({"/bin/sleep", "600"});
        const pid_t pid = server->pid();
        (void)!::write(pipeFds[1], &pid, sizeof(pid));
        ::_exit(1);
    }
    ::close(pipeFds[1]);
    pid_t server = -1;
    ASSERT_EQ(::read(pipeFds[0], &server, sizeof(server)), static_cast<ssize_t>(sizeof(server)));
    ::close(pipeFds[0]);
    ::waitpid(test, nullptr, 0);
    // The server was the dead program's child. Killed, it is gone, or a zombie until whoever
    // adopted it reaps it.
    const auto ended = [server] {
        std::ifstream stat("/proc/" + std::to_string(server) + "/stat");
        std::string pid, name, state;
        return !(stat >> pid >> name >> state) || state == "Z";
    };
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        gone = ended();
        if (!gone) {
            ::usleep(10000);
        }
    }
    EXPECT_TRUE(gone);
}
