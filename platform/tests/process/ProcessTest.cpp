#include "platform/process/Process.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <boost/filesystem/operations.hpp>

#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using standin::Process;
using standin::shellQuote;

namespace {

Process::Options capture() {
    Process::Options options;
    options.captureOutput = true;
    return options;
}

std::vector<std::string> splitNul(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        fields.push_back(text.substr(start, end - start));
    }
    return fields;
}

// Values that a shell would split, expand or run if they reached it unquoted.
const std::vector<std::string> kAwkward = {
    "",      "plain", "two words", "it's", "'", "''", "$(touch pwned)",  "`touch pwned`",
    "$HOME", "a\nb",  "\\",        "\"",   "*", "-n", "; touch pwned &", "\t",
    "!x",    "~"};

bool noChildLeft() {
    return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

}  // namespace

TEST(Process, ArgumentsReachTheProgramUnchangedAndNothingIsExpanded) {
    testsupport::TempDir temp;
    std::vector<std::string> arguments = {"%s\\0"};
    arguments.insert(arguments.end(), kAwkward.begin(), kAwkward.end());
    // printf is found on PATH; a shell would have run the command substitutions in the cwd.
    const auto result = Process::run("printf", arguments, capture());
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(splitNul(result.output), kAwkward);
    EXPECT_FALSE(boost::filesystem::exists("pwned"));
    EXPECT_TRUE(noChildLeft());
}

TEST(Process, RawWaitStatusAndExitCode) {
    struct Case {
        const char* script;
        int exitCode;
        bool signalled;
    };
    for (const Case& c : {Case{"exit 0", 0, false}, Case{"exit 9", 9, false},
                          Case{"exit 255", 255, false}, Case{"kill -TERM $$", -1, true}}) {
        SCOPED_TRACE(c.script);
        const auto result = Process::run("/bin/sh", {"-c", c.script});
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode(), c.exitCode);
        EXPECT_EQ(WIFSIGNALED(result.status), c.signalled);
        if (!c.signalled) {
            // The same value system() gives: exit code 9 is 2304.
            EXPECT_EQ(result.status, c.exitCode << 8);
        }
        EXPECT_EQ(result.succeeded(), c.exitCode == 0);
    }
    EXPECT_TRUE(noChildLeft());
}

TEST(Process, ProgramThatCannotStartIsAFailure) {
    testsupport::TempDir temp;
    const auto notExecutable = temp.write("script", "#!/bin/sh\nexit 0\n");
    for (const std::string& program :
         {std::string("orv-no-such-program"), std::string(""), notExecutable.string()}) {
        SCOPED_TRACE(program);
        const auto result = Process::run(program, {});
        EXPECT_FALSE(result.started);
        EXPECT_FALSE(result.succeeded());
        EXPECT_EQ(result.exitCode(), 127);
        EXPECT_NE(result.error, 0);
    }
    // PATH is read when the program is started.
    testsupport::ScopedEnv path("PATH", temp.path().string());
    EXPECT_FALSE(Process::run("sh", {"-c", "exit 0"}).started);
}

TEST(Process, LargeOutputIsDrainedAndBounded) {
    // More than a pipe holds: the child must not block on a full pipe.
    const auto whole = Process::run("head", {"-c", "3000000", "/dev/zero"}, capture());
    EXPECT_TRUE(whole.succeeded());
    EXPECT_EQ(whole.output.size(), 3000000u);

    auto options = capture();
    options.maxOutput = 1000;
    const auto bounded = Process::run("head", {"-c", "3000000", "/dev/zero"}, options);
    EXPECT_TRUE(bounded.succeeded());
    EXPECT_EQ(bounded.output.size(), 1000u);
    EXPECT_TRUE(noChildLeft());
}

TEST(Process, StartAndWaitReapTheChild) {
    const pid_t pid = Process::start("/bin/sh", {"-c", "exit 3"});
    ASSERT_GT(pid, 0);
    const int status = Process::wait(pid);
    EXPECT_EQ(Process::exitCode(status), 3);
    EXPECT_TRUE(noChildLeft());
    EXPECT_EQ(Process::start("orv-no-such-program", {}), -1);
}

// Every quoted value must come back byte for byte from real shells, without side effects.
TEST(ShellQuote, RoundTripsThroughRealShells) {
    testsupport::TempDir temp;
    std::string command = "cd " + shellQuote(temp.path().string()) + " && printf '%s\\0'";
    for (const auto& value : kAwkward) {
        command += " " + shellQuote(value);
    }
    for (const char* shell : {"/bin/sh", "/bin/bash"}) {
        SCOPED_TRACE(shell);
        const auto result = Process::run(shell, {"-c", command}, capture());
        ASSERT_TRUE(result.succeeded());
        EXPECT_EQ(splitNul(result.output), kAwkward);
    }
    EXPECT_FALSE(boost::filesystem::exists(temp / "pwned"));
    EXPECT_EQ(shellQuote(""), "''");
    EXPECT_EQ(shellQuote("it's"), "'it'\\''s'");
}
