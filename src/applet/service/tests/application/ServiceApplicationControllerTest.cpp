#include "service/application/ServiceApplicationController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <sstream>

#include "common/params/CommandLineParams.h"
#include "common/params/JsonFileParams.h"
#include "common/params/Params.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;
using corvalis::service::IAbstractServiceApplicationController;
using corvalis::service::ServiceApplicationController;
using testing::_;
using testing::ElementsAre;
using testing::Return;

namespace {

class FakeLaunchCtl : public common::ILaunchCtl {
public:
    MOCK_METHOD(bool, RegisterDaemon, (const fs::path&, const fs::path&, std::vector<std::string>),
                (override));
    MOCK_METHOD(int, RegisterAgent, (const fs::path&, const fs::path&, std::vector<std::string>),
                (override));
    MOCK_METHOD(bool, isDaemonRegistered, (), (override));
    MOCK_METHOD(bool, isAgentRegistered, (), (override));
    MOCK_METHOD(bool, UnregisterDaemon, (), (override));
    MOCK_METHOD(bool, UnregisterAgent, (), (override));
    MOCK_METHOD(bool, LoadDaemon, (), (override));
    MOCK_METHOD(bool, LoadAgent, (), (override));
    MOCK_METHOD(bool, UnloadDaemon, (bool), (override));
    MOCK_METHOD(bool, UnloadAgent, (bool), (override));
};

// A controller over a parameter store of the command line and a state file in a temporary
// folder, with a launchd control the test scripts.
class ServiceController : public testing::Test {
protected:
    ServiceController() : _root("ORV_SYSTEM_ROOT", _dir.path().string()) {}

    std::unique_ptr<ServiceApplicationController> make(std::vector<std::string> arguments,
                                                       fs::path executable = {}) {
        _params = std::make_unique<common::Params>();
        arguments.insert(arguments.begin(), "/x/daemon");
        _params->addLayer(std::make_unique<common::CommandLineParams>(arguments), 2);
        _params->addLayer(std::make_unique<common::JsonFileParams>(_dir / "unattended.json"), 1);
        ServiceApplicationController::Environment environment;
        environment.launchCtl = [this](const std::string& name) {
            _names.push_back(name);
            auto fake = std::move(_launchCtl);
            _launchCtl = std::make_unique<testing::NiceMock<FakeLaunchCtl>>();
            return fake;
        };
        environment.output = &_output;
        environment.executable = executable.empty() ? _dir / "inst/daemon" : executable;
        environment.systemLog = [this](const std::string& line) { _systemLog.push_back(line); };
        return std::make_unique<ServiceApplicationController>(
            *_scheduler, *_params, IAbstractServiceApplicationController::ServiceType::Unattended,
            true, environment);
    }

    testsupport::TempDir _dir;
    testsupport::ScopedEnv _root;
    std::shared_ptr<common::ITaskScheduler> _scheduler = common::TaskScheduler::create(
        std::chrono::milliseconds(10), common::ILogger::create("TaskScheduler"));
    std::unique_ptr<common::Params> _params;
    std::unique_ptr<testing::NiceMock<FakeLaunchCtl>> _launchCtl =
        std::make_unique<testing::NiceMock<FakeLaunchCtl>>();
    std::vector<std::string> _names;
    std::vector<std::string> _systemLog;
    std::ostringstream _output;
};

}  // namespace

TEST_F(ServiceController, RegsvcAnswersOneLinePerOutcome) {
    const struct {
        const char* name;
        bool written;
        bool loaded;
        const char* answer;
        bool removedAgain;
    } cases[] = {
        {"written and loaded", true, true, "<exitcode>0</exitcode>\n", false},
        {"not written", false, true, "<exitcode>-1</exitcode>\n", false},
        {"written, not loaded", true, false, "<exitcode>-4</exitcode>\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        _output.str("");
        auto controller = make({"-regsvc", "-delsvc"});
        auto& fake = *_launchCtl;
        EXPECT_CALL(fake, RegisterDaemon(_dir / "inst/daemon", _, ElementsAre("-Service")))
            .WillOnce(Return(c.written));
        if (c.written) {
            EXPECT_CALL(fake, LoadDaemon()).WillOnce(Return(c.loaded));
        } else {
            EXPECT_CALL(fake, LoadDaemon()).Times(0);
        }
        EXPECT_CALL(fake, UnregisterDaemon()).Times(c.removedAgain ? 1 : 0);
        EXPECT_CALL(fake, UnregisterAgent()).Times(c.removedAgain ? 1 : 0);
        EXPECT_CALL(fake, isDaemonRegistered()).Times(0);  // delsvc is not handled as well
        int exitCode = 0;
        EXPECT_EQ(controller->processInput({}, exitCode), 0);
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(_output.str(), c.answer);
        testing::Mock::VerifyAndClearExpectations(&fake);
    }
}

TEST_F(ServiceController, DelsvcRemovesWhatIsRegisteredAndPrintsNothing) {
    auto controller = make({"-delsvc"});
    auto& fake = *_launchCtl;
    EXPECT_CALL(fake, isAgentRegistered()).WillOnce(Return(false));
    EXPECT_CALL(fake, UnregisterAgent()).Times(0);
    EXPECT_CALL(fake, isDaemonRegistered()).WillOnce(Return(true));
    EXPECT_CALL(fake, UnregisterDaemon()).WillOnce(Return(true));
    int exitCode = 0;
    EXPECT_EQ(controller->processInput({}, exitCode), 0);
    EXPECT_EQ(_output.str(), "");
    ASSERT_EQ(_names.size(), 1u);
    EXPECT_EQ(_names[0], controller->GetUId());
}

TEST_F(ServiceController, ANormalRunKeepsOneInstallationIdAndRemembersNoDel) {
    int exitCode = 0;
    auto first = make({"-Service", "-NoDel"});
    EXPECT_EQ(first->processInput({}, exitCode), 3);
    const std::string id = first->GetUId();
    EXPECT_EQ(id.size(), 10u);
    EXPECT_EQ(_output.str(), "");

    auto second = make({"-Service"});
    EXPECT_EQ(second->processInput({}, exitCode), 3);
    EXPECT_EQ(second->GetUId(), id);
    EXPECT_EQ(second->GetServiceName(), std::wstring(id.begin(), id.end()));
    EXPECT_EQ(_params->getValue("NoDel", ""), "1");
    EXPECT_TRUE(_names.empty());
}

TEST_F(ServiceController, UninstallRemovesOnlyTheInstallationFolder) {
    fs::create_directories(_dir / "inst/Daemon.app/Contents/MacOS");
    _dir.write("inst/Daemon.app/Contents/MacOS/daemon", "x");
    _dir.write("inst/downloads/1.0/applet.zip", "x");
    fs::create_directories(_dir / "elsewhere");
    fs::create_symlink(_dir / "elsewhere", _dir / "inst/link");
    auto controller = make({}, _dir / "inst/Daemon.app/Contents/MacOS/daemon");
    controller->cleanUpApplicationFiles();
    EXPECT_FALSE(fs::exists(_dir / "inst"));
    EXPECT_TRUE(fs::exists(_dir / "elsewhere"));  // a link inside is removed, not followed
    EXPECT_TRUE(_systemLog.empty());
}

TEST_F(ServiceController, UninstallRefusesUnsafeFolders) {
    fs::create_directories(_dir / "real/inst");
    _dir.write("real/inst/daemon", "x");
    fs::create_symlink(_dir / "real", _dir / "via-link");
    fs::create_directories(_dir / "Library");
    _dir.write("Library/daemon", "x");
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        fs::path executable;
        fs::path mustSurvive;
    } cases[] = {
        {"NoDel", {"-NoDel"}, _dir / "real/inst/daemon", _dir / "real/inst"},
        {"a path through a symbolic link", {}, _dir / "via-link/inst/daemon", _dir / "real/inst"},
        {"a system folder below the system root", {}, _dir / "Library/daemon", _dir / "Library"},
        {"the system root itself", {}, _dir / "daemon", _dir / "real"},
        {"the root folder", {}, "/daemon", _dir / "real"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto controller = make(c.arguments, c.executable);
        controller->cleanUpApplicationFiles();
        EXPECT_TRUE(fs::exists(c.mustSurvive));
    }
}
