#include "common/launchctl/LaunchCtl.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/filesystem/operations.hpp>
#include <cstdlib>
#include <functional>
#include <memory>

#include "StandInLog.h"
#include "common/launchctl/LaunchJobPlist.h"
#include "platform/process/Process.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using common::LaunchCtl;
using common::LaunchCtlSystem;
using launchctltest::Invocation;
using launchctltest::readInvocations;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

std::string standInFolder() {
    const char* source = std::getenv("ORV_SOURCE_DIR");
    return std::string(source != nullptr ? source : ORV_FALLBACK_SOURCE_DIR) +
           "/lib/common/tests/launchctl/bin";
}

std::string pathWithStandIns() {
    const char* path = std::getenv("PATH");
    return standInFolder() + ":" + (path != nullptr ? path : "/usr/bin:/bin");
}

// The property list as plistlib reads it, turned into JSON.
rapidjson::Document readPlist(const fs::path& file) {
    const auto result = standin::Process::run("/usr/bin/python3",
                                              {"-c",
                                               "import json, plistlib, sys\n"
                                               "with open(sys.argv[1], 'rb') as f:\n"
                                               "    print(json.dumps(plistlib.load(f)))\n",
                                               file.string()},
                                              standin::Process::Options{true});
    rapidjson::Document document;
    EXPECT_TRUE(result.succeeded()) << "plistlib could not read " << file;
    document.Parse(result.output.c_str());
    EXPECT_FALSE(document.HasParseError());
    return document;
}

std::vector<std::string> strings(const rapidjson::Value& array) {
    std::vector<std::string> values;
    for (const auto& value : array.GetArray()) {
        values.emplace_back(value.GetString(), value.GetStringLength());
    }
    return values;
}

// Checks every key of a job's property list against what the job must hold.
void expectJob(const fs::path& file, const std::string& label,
               const std::vector<std::string>& programArguments,
               const std::string& workingDirectory, bool agent) {
    const auto plist = readPlist(file);
    ASSERT_TRUE(plist.IsObject());
    std::vector<std::string> keys;
    for (const auto& member : plist.GetObject()) {
        keys.emplace_back(member.name.GetString());
    }
    std::vector<std::string> expectedKeys = {"KeepAlive",        "Label",     "OnDemand",
                                             "ProgramArguments", "RunAtLoad", "WorkingDirectory"};
    if (agent) {
        expectedKeys.insert(expectedKeys.begin() + 2, "LimitLoadToSessionType");
    }
    EXPECT_EQ(keys, expectedKeys);

    EXPECT_EQ(plist["Label"].GetString(), label);
    EXPECT_EQ(strings(plist["ProgramArguments"]), programArguments);
    EXPECT_EQ(std::string(plist["WorkingDirectory"].GetString(),
                          plist["WorkingDirectory"].GetStringLength()),
              workingDirectory);
    EXPECT_TRUE(plist["RunAtLoad"].IsTrue());
    EXPECT_TRUE(plist["OnDemand"].IsFalse());
    const auto& keepAlive = plist["KeepAlive"];
    ASSERT_TRUE(keepAlive.IsObject());
    EXPECT_EQ(keepAlive.MemberCount(), 2u);
    EXPECT_TRUE(keepAlive["SuccessfulExit"].IsFalse());
    EXPECT_TRUE(keepAlive["Crashed"].IsTrue());
    if (agent) {
        EXPECT_EQ(strings(plist["LimitLoadToSessionType"]),
                  (std::vector<std::string>{"Aqua", "LoginWindow"}));
    }
}

Invocation launchctl(std::vector<std::string> arguments) {
    return Invocation{"launchctl", std::move(arguments)};
}

Invocation su(const std::string& user, const std::string& command) {
    return Invocation{"su", {"-", user, "-c", command}};
}

class LaunchCtlTest : public ::testing::Test {
protected:
    LaunchCtlTest()
        : _rootEnv("ORV_SYSTEM_ROOT", (temp / "root").string()),
          _pathEnv("PATH", pathWithStandIns()),
          _logEnv("ORV_STANDIN_LOG", log.string()),
          _launchctlExit("ORV_STANDIN_LAUNCHCTL_EXIT", std::nullopt),
          _suExit("ORV_STANDIN_SU_EXIT", std::nullopt) {
        fs::create_directories(root / "Library" / "LaunchDaemons");
        fs::create_directories(root / "Library" / "LaunchAgents");
        fs::create_directories(home);
    }

    std::unique_ptr<LaunchCtl> make(const std::string& name = "X") {
        LaunchCtlSystem system;
        system.isRoot = [this] { return asRoot; };
        system.userNames = [this] { return users; };
        system.homeFolder = [this] { return home; };
        return std::make_unique<LaunchCtl>(name, system);
    }

    std::vector<Invocation> calls() const { return readInvocations(log); }
    void clearCalls() const { fs::remove(log); }

    fs::path daemonFile(const std::string& name = "X") const {
        return root / "Library/LaunchDaemons" /
               ("com.orvanta.remotesupport.daemon." + name + ".plist");
    }
    fs::path systemAgentFile(const std::string& name = "X") const {
        return root / "Library/LaunchAgents" /
               ("com.orvanta.remotesupport.agent." + name + ".plist");
    }
    fs::path userAgentFile(const std::string& name = "X") const {
        return home / "Library/LaunchAgents" /
               ("com.orvanta.remotesupport.agent." + name + ".plist");
    }

    TempDir temp;
    fs::path root = temp / "root";
    fs::path home = temp / "home";
    fs::path log = temp / "calls";
    bool asRoot = false;
    std::vector<std::string> users = {"alice", "-x", "", "bob"};

private:
    ScopedEnv _rootEnv;
    ScopedEnv _pathEnv;
    ScopedEnv _logEnv;
    ScopedEnv _launchctlExit;
    ScopedEnv _suExit;
};

TEST_F(LaunchCtlTest, RegisterDaemonWritesTheJobPropertyList) {
    auto launchCtl = common::ILaunchCtl::Create("X");
    ASSERT_TRUE(launchCtl->RegisterDaemon("/a/d", "/a", {"-Service"}));
    expectJob(daemonFile(), "com.orvanta.remotesupport.daemon.X", {"/a/d", "-Service"}, "/a",
              false);
    EXPECT_TRUE(launchCtl->isDaemonRegistered());
    EXPECT_TRUE(calls().empty());
}

TEST_F(LaunchCtlTest, PropertyListCarriesAwkwardValuesUnchanged) {
    const std::vector<std::string> arguments = {"",
                                                "a & <b> \"c\"",
                                                "it's $(touch x) `id`",
                                                "tab\tline\nreturn\r",
                                                "caf\xc3\xa9 \xf0\x9f\x98\x80",
                                                "]]>"};
    ASSERT_TRUE(make()->RegisterDaemon("/p a/d", "", arguments));
    std::vector<std::string> expected = {"/p a/d"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    expectJob(daemonFile(), "com.orvanta.remotesupport.daemon.X", expected, "", false);
}

TEST_F(LaunchCtlTest, ValuesAPropertyListCannotCarryAreRefused) {
    for (const std::string& bad : {std::string("a\x01z"), std::string("\xff"), std::string("\xc3"),
                                   std::string("\xed\xa0\x80")}) {
        EXPECT_FALSE(make()->RegisterDaemon("/a/d", "/a", {bad}));
        EXPECT_FALSE(fs::exists(daemonFile()));
    }
}

TEST_F(LaunchCtlTest, RegisterAgentAnswers) {
    struct Case {
        const char* title;
        std::function<void()> prepare;
        int answer;
        fs::path written;
    };
    const auto removeSystemAgents = [this] { fs::remove_all(root / "Library/LaunchAgents"); };
    const std::vector<Case> cases = {
        {"written system-wide", [] {}, 0, systemAgentFile()},
        {"system folder not writable: per-user file", removeSystemAgents, 1, userAgentFile()},
        {"daemon registered",
         [this] {
             temp.write("root/Library/LaunchDaemons/" + daemonFile().filename().string(), "x");
         },
         3, fs::path()},
        {"system-wide agent exists",
         [this] {
             temp.write("root/Library/LaunchAgents/" + systemAgentFile().filename().string(), "x");
         },
         2, fs::path()},
        {"per-user agent exists",
         [&] {
             removeSystemAgents();
             temp.write("home/Library/LaunchAgents/" + userAgentFile().filename().string(), "x");
         },
         2, fs::path()},
        {"no home folder",
         [&] {
             removeSystemAgents();
             home.clear();
         },
         4, fs::path()},
        {"per-user folder cannot be made",
         [&] {
             removeSystemAgents();
             temp.write("home/Library", "a file, not a folder");
         },
         4, fs::path()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        fs::remove_all(root);
        fs::remove_all(temp / "home");
        home = temp / "home";
        fs::create_directories(root / "Library/LaunchDaemons");
        fs::create_directories(root / "Library/LaunchAgents");
        fs::create_directories(home);
        c.prepare();
        const auto before = fs::exists(systemAgentFile()) ? TempDir::read(systemAgentFile()) : "";

        EXPECT_EQ(make()->RegisterAgent("/a/agent", "/a", {"-Agent", ""}), c.answer);
        if (!c.written.empty()) {
            expectJob(c.written, "com.orvanta.remotesupport.agent.X", {"/a/agent", "-Agent", ""},
                      "/a", true);
            EXPECT_TRUE(make()->isAgentRegistered());
        } else if (fs::exists(systemAgentFile())) {
            EXPECT_EQ(TempDir::read(systemAgentFile()), before);
        }
        if (c.answer == 3) {
            EXPECT_FALSE(fs::exists(systemAgentFile()));
            EXPECT_FALSE(fs::exists(userAgentFile()));
        }
    }
    EXPECT_TRUE(calls().empty());
}

TEST_F(LaunchCtlTest, CommandsRunAsTheCallerOrThroughSuForEveryUser) {
    const std::string daemon = daemonFile().string();
    const std::string agent = systemAgentFile().string();
    const std::string daemonLabel = "com.orvanta.remotesupport.daemon.X";
    const std::string agentLabel = "com.orvanta.remotesupport.agent.X";
    struct Case {
        const char* title;
        bool asRoot;
        std::function<bool(LaunchCtl&)> operation;
        std::vector<Invocation> expected;
        bool daemonFileStays;
        bool agentFileStays;
    };
    const std::vector<Case> cases = {
        {"LoadDaemon",
         false,
         [](LaunchCtl& l) { return l.LoadDaemon(); },
         {launchctl({"load", "-w", daemon})},
         true,
         true},
        {"LoadDaemon as root",
         true,
         [](LaunchCtl& l) { return l.LoadDaemon(); },
         {launchctl({"load", "-w", daemon})},
         true,
         true},
        {"UnloadDaemon",
         true,
         [](LaunchCtl& l) { return l.UnloadDaemon(false); },
         {launchctl({"unload", daemon})},
         true,
         true},
        {"UnloadDaemon removing the file",
         false,
         [](LaunchCtl& l) { return l.UnloadDaemon(true); },
         {launchctl({"unload", daemon})},
         false,
         true},
        {"UnregisterDaemon",
         true,
         [](LaunchCtl& l) { return l.UnregisterDaemon(); },
         {launchctl({"remove", daemonLabel})},
         false,
         true},
        {"LoadAgent",
         false,
         [](LaunchCtl& l) { return l.LoadAgent(); },
         {launchctl({"load", "-w", agent})},
         true,
         true},
        {"LoadAgent as root",
         true,
         [](LaunchCtl& l) { return l.LoadAgent(); },
         {su("alice", "launchctl load -w '" + agent + "'"),
          su("bob", "launchctl load -w '" + agent + "'")},
         true,
         true},
        {"UnloadAgent as root",
         true,
         [](LaunchCtl& l) { return l.UnloadAgent(true); },
         {launchctl({"unload", agent})},
         true,
         false},
        {"UnregisterAgent",
         false,
         [](LaunchCtl& l) { return l.UnregisterAgent(); },
         {launchctl({"remove", agentLabel})},
         true,
         false},
        {"UnregisterAgent as root",
         true,
         [](LaunchCtl& l) { return l.UnregisterAgent(); },
         {su("alice", "launchctl remove '" + agentLabel + "'"),
          su("bob", "launchctl remove '" + agentLabel + "'")},
         true,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        temp.write("root/Library/LaunchDaemons/" + daemonFile().filename().string(), "d");
        temp.write("root/Library/LaunchAgents/" + systemAgentFile().filename().string(), "a");
        clearCalls();
        asRoot = c.asRoot;
        auto launchCtl = make();
        EXPECT_TRUE(c.operation(*launchCtl));
        EXPECT_EQ(calls(), c.expected);
        EXPECT_EQ(fs::exists(daemonFile()), c.daemonFileStays);
        EXPECT_EQ(fs::exists(systemAgentFile()), c.agentFileStays);
    }
}

TEST_F(LaunchCtlTest, StatusesAndMissingFiles) {
    auto launchCtl = make();
    // Without files nothing runs, except the daemon's "remove", which the job may need anyway.
    EXPECT_FALSE(launchCtl->LoadDaemon());
    EXPECT_FALSE(launchCtl->LoadAgent());
    EXPECT_FALSE(launchCtl->UnloadDaemon(true));
    EXPECT_FALSE(launchCtl->UnloadAgent(true));
    EXPECT_FALSE(launchCtl->UnregisterAgent());
    EXPECT_TRUE(calls().empty());
    EXPECT_FALSE(launchCtl->UnregisterDaemon());
    EXPECT_EQ(
        calls(),
        (std::vector<Invocation>{launchctl({"remove", "com.orvanta.remotesupport.daemon.X"})}));

    ASSERT_TRUE(launchCtl->RegisterDaemon("/a/d", "/a", {}));
    {
        ScopedEnv failing("ORV_STANDIN_LAUNCHCTL_EXIT", std::string("1"));
        EXPECT_FALSE(launchCtl->LoadDaemon());
        // The file goes even when the unload fails, and the failure is the answer.
        EXPECT_FALSE(launchCtl->UnloadDaemon(true));
        EXPECT_FALSE(fs::exists(daemonFile()));
    }
    ASSERT_EQ(make()->RegisterAgent("/a/agent", "/a", {}), 0);
    {
        ScopedEnv failing("ORV_STANDIN_SU_EXIT", std::string("1"));
        asRoot = true;
        EXPECT_TRUE(launchCtl->LoadAgent());
    }
    {
        // A launchctl that cannot be found is a failure, not a success.
        ScopedEnv emptyPath("PATH", (temp / "nothing-here").string());
        asRoot = false;
        EXPECT_FALSE(launchCtl->LoadAgent());
    }
}

// The command given to "su -c" must reach launchctl as exactly the path or label, whatever
// characters they hold, and must run nothing else. Each recorded command is run by real shells
// with launchctl defined as a function that prints its arguments.
TEST_F(LaunchCtlTest, SuCommandsQuoteEveryValue) {
    const std::string awkward = "it's $(touch pwned) `touch pwned2` \"q\" \\ ; touch pwned3 &";
    home = temp / ("home " + awkward);
    fs::remove_all(root / "Library/LaunchAgents");
    asRoot = true;
    users = {"alice"};
    auto launchCtl = make("N " + awkward);
    ASSERT_EQ(launchCtl->RegisterAgent("/a/agent", "/a", {}), 1);
    const std::string path = userAgentFile("N " + awkward).string();
    const std::string label = "com.orvanta.remotesupport.agent.N " + awkward;
    ASSERT_TRUE(launchCtl->LoadAgent());
    ASSERT_TRUE(launchCtl->UnregisterAgent());

    const auto recorded = calls();
    ASSERT_EQ(recorded.size(), 2u);
    const std::vector<std::vector<std::string>> expected = {{"load", "-w", path},
                                                            {"remove", label}};
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        ASSERT_EQ(recorded[i].program, "su");
        ASSERT_EQ(recorded[i].arguments.size(), 4u);
        EXPECT_EQ(recorded[i].arguments[0], "-");
        EXPECT_EQ(recorded[i].arguments[1], "alice");
        EXPECT_EQ(recorded[i].arguments[2], "-c");
        const std::string& command = recorded[i].arguments[3];
        for (const char* shell : {"/bin/sh", "/bin/bash"}) {
            SCOPED_TRACE(std::string(shell) + ": " + command);
            const auto run = standin::Process::run(
                shell,
                {"-c", "cd \"$2\" || exit 1; launchctl() { printf '%s\\0' \"$@\"; }; eval \"$1\"",
                 "sh", command, temp.path().string()},
                standin::Process::Options{true});
            ASSERT_TRUE(run.succeeded());
            std::vector<std::string> arguments;
            std::size_t start = 0;
            for (std::size_t end; (end = run.output.find('\0', start)) != std::string::npos;
                 start = end + 1) {
                arguments.push_back(run.output.substr(start, end - start));
            }
            EXPECT_EQ(arguments, expected[i]);
        }
    }
    for (const char* marker : {"pwned", "pwned2", "pwned3"}) {
        EXPECT_FALSE(fs::exists(temp / marker)) << marker;
    }
}

TEST_F(LaunchCtlTest, SymbolicLinksAndHardLinksAtThePlistPathAreNotWrittenThrough) {
    const fs::path victim = temp.write("victim", "keep");
    fs::create_symlink(victim, daemonFile());
    EXPECT_FALSE(make()->RegisterDaemon("/a/d", "/a", {}));
    EXPECT_EQ(TempDir::read(victim), "keep");

    // A dangling link at the per-user path counts as a registered agent and creates nothing.
    fs::remove(daemonFile());
    fs::remove_all(root / "Library/LaunchAgents");
    fs::create_directories(userAgentFile().parent_path());
    fs::create_symlink(temp / "created", userAgentFile());
    EXPECT_EQ(make()->RegisterAgent("/a/agent", "/a", {}), 2);
    EXPECT_FALSE(fs::exists(temp / "created"));

    // The writer itself refuses links, dangling or not, and hard links.
    common::LaunchJob job{"label", {"/a/agent"}, "/a", true};
    const fs::path dangling = temp / "dangling.plist";
    fs::create_symlink(temp / "created", dangling);
    EXPECT_FALSE(common::LaunchJobPlist::write(dangling, job));
    EXPECT_FALSE(fs::exists(temp / "created"));
    const fs::path hardLink = temp / "hard.plist";
    fs::create_hard_link(victim, hardLink);
    EXPECT_FALSE(common::LaunchJobPlist::write(hardLink, job));
    EXPECT_EQ(TempDir::read(victim), "keep");

    // A FIFO at the path is refused at once instead of blocking until a reader comes.
    ASSERT_EQ(::mkfifo(daemonFile().c_str(), 0600), 0);
    EXPECT_FALSE(make()->RegisterDaemon("/a/d", "/a", {}));
    EXPECT_EQ(fs::status(daemonFile()).type(), fs::fifo_file);
}

TEST_F(LaunchCtlTest, NameWithASlashWritesNothing) {
    auto launchCtl = make("../../escaped");
    EXPECT_FALSE(launchCtl->RegisterDaemon("/a/d", "/a", {}));
    EXPECT_EQ(launchCtl->RegisterAgent("/a/d", "/a", {}), 4);
    EXPECT_FALSE(launchCtl->isDaemonRegistered());
    EXPECT_FALSE(launchCtl->LoadDaemon());
    std::size_t files = 0;
    for (fs::recursive_directory_iterator it(temp.path()), end; it != end; ++it) {
        files += fs::is_regular_file(it->status()) ? 1 : 0;
    }
    EXPECT_EQ(files, 0u);
}

}  // namespace
