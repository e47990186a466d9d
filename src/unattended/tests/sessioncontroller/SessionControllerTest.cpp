#include "unattended/sessioncontroller/SessionController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <vector>

#include "common/addressinfo/AddressInfo.h"
#include "common/connectioncontroller/IConnectionController.h"
#include "common/logger/ILogger.h"
#include "common/params/JsonFileParams.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "foundation/platform/SystemInformation.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/pm/IProcessManager.h"
#include "lib/common/tests/support/LogCapture.h"
#include "testsupport/TempDir.h"
#include "unattended/appletcontroller/IAppletController.h"
#include "unattended/httpcommunication/IBackendEndpointCalls.h"
#include "unattended/ipcmessages/UnattendedIpcMessage.h"
#include "unattended/updatecontroller/IUpdateController.h"

using namespace std::chrono_literals;
using corvalis::unattended::DownloadApplet;
using corvalis::unattended::ISessionControllerDelegate;
using corvalis::unattended::SessionController;
using corvalis::unattended::UnattendedIpcMessage;
using corvalis::unattended::UpdateYourself;
namespace msg = corvalis::unattended::ipcmessages;
using StopReason = ISessionControllerDelegate::StopReason;

namespace {

struct Record {
    std::vector<std::string> calls;
    std::vector<std::string> sent;  // texts handed to the connection
    std::map<std::string, std::string> headers;
};

class FakeConnectionController : public common::IConnectionController {
public:
    explicit FakeConnectionController(Record& record) : _r(record) {}
    void requestStart(const std::string& url) override { _r.calls.push_back("start " + url); }
    void requestStop() override { _r.calls.push_back("stop"); }
    void requestRestart() override { _r.calls.push_back("restart"); }
    void requestSendMessage(const std::vector<uint8_t>& message,
                            std::function<void(bool)> completion) override {
        _r.sent.emplace_back(message.begin(), message.end());
        if (completion)
            completion(true);
    }
    void setProxyUserPass(const std::wstring& user, const std::wstring&) override {
        _r.calls.push_back("proxy " + std::string(user.begin(), user.end()));
    }
    void addToConnectionHeader(const std::string& name, const std::string& value) override {
        _r.headers[name] = value;
    }
    void clearConnectionHeader() override { _r.headers.clear(); }

private:
    Record& _r;
};

class FakeApplet : public corvalis::unattended::IAppletController {
public:
    explicit FakeApplet(Record& record) : _r(record) {}
    void startApplet(const std::string& d, const std::string& b, const std::string& p,
                     const std::string& v) override {
        _r.calls.push_back("applet " + d + "|" + b + "|" + p + "|" + v);
    }
    void updateApplet(const std::string& url, const std::string& version) override {
        _r.calls.push_back("cache " + url + "|" + version);
    }

private:
    Record& _r;
};

class FakeUpdate : public corvalis::unattended::IUpdateController {
public:
    explicit FakeUpdate(Record& record) : _r(record) {}
    void downloadAndInstallUpdate(const std::string& url, const std::wstring&,
                                  std::function<void(bool, const std::string&)> done) override {
        _r.calls.push_back("update " + url);
        done(url.find("good") != std::string::npos, "unzip failed");
    }

private:
    Record& _r;
};

class FakeRest : public corvalis::unattended::IBackendEndpointCalls {
public:
    FakeRest(Record& record,
             std::function<void(std::function<void(bool, const DownloadApplet&)>)>& applet,
             std::function<void(std::function<void(bool, const UpdateYourself&)>)>& update)
        : _r(record), _applet(applet), _update(update) {}
    bool requestAppletDownloadParam(
        const std::string& pin, std::function<void(bool, const DownloadApplet&)> done) override {
        _r.calls.push_back("rest applet " + pin);
        if (_applet)
            _applet(std::move(done));
        return true;
    }
    bool requestUnattendedUpdateParams(
        std::function<void(bool, const UpdateYourself&)> done) override {
        _r.calls.push_back("rest update");
        if (_update)
            _update(std::move(done));
        return true;
    }

private:
    Record& _r;
    std::function<void(std::function<void(bool, const DownloadApplet&)>)>& _applet;
    std::function<void(std::function<void(bool, const UpdateYourself&)>)>& _update;
};

class FakeIpc : public interprocess::IIpcController {
public:
    bool start() override { return true; }
    bool stop() override { return true; }
    bool send(const helper::ApplicationType&, const std::string& json) override {
        sent.push_back(json);
        return true;
    }
    void connectToService(std::function<void(bool)>) override {}
    bool synchronousSend(const helper::ApplicationType&, const std::string&) override {
        return false;
    }
    void deliver(const UnattendedIpcMessage& message) {
        notifyClients(&interprocess::IIpcControllerClient::onIpcClientMessageReceived,
                      helper::ApplicationType::UnattendedUi,
                      UnattendedIpcMessage::ToString(message));
    }
    std::vector<std::string> sent;
};

class IdleProcessManager : public interprocess::IProcessManager {
public:
    bool stop() override { return true; }
    bool start(const StartList&) override { return true; }
    int installHelperTool() override { return 0; }
    bool uninstallHelperTool() const override { return true; }
    int reinstallHelperTool(bool) override { return 0; }
};

class ManualScheduler : public common::TaskScheduler {
public:
    using TaskScheduler::TaskScheduler;
    int run(const std::vector<std::string>&) override { return 0; }
    void quit() override {}
};

class Delegate : public ISessionControllerDelegate {
public:
    std::wstring onSessionControllerGetServiceName() override { return L"svc"; }
    void onSessionControllerDone(StopReason reason) override { done.push_back(reason); }
    std::vector<StopReason> done;
};

class Session : public testing::Test {
protected:
    Session() : _params(_dir / "unattended.json") {
        _params.setValue("CompanyToken", "company");
        _scheduler = std::make_shared<ManualScheduler>(
            common::ILogger::create("TaskScheduler"), 10ms,
            common::TaskScheduler::TimeSource{
                [this] { return _now; },
                [this](const std::chrono::milliseconds& d) { _now += d; }});
    }
    ~Session() override { _controller.reset(); }

    void make() {
        _controller = std::make_unique<SessionController>(
            _scheduler->getTaskQueue("SessionController"),
            std::make_unique<FakeConnectionController>(_r), std::make_unique<FakeApplet>(_r),
            std::make_unique<FakeUpdate>(_r),
            std::make_unique<FakeRest>(_r, _appletAnswer, _updateAnswer),
            std::make_unique<platform::SystemInformation>(),
            std::make_unique<common::AddressInfo>(), _ipc, _pm, _params,
            common::ILogger::create("SessionController"), [this] { return _now; },
            [] { return std::string("Coordinated Universal Time"); });
        _controller->setDelegate(&_delegate);
    }

    // Moves the clock on in steps of one tick, running what falls due.
    void advance(std::chrono::milliseconds duration) {
        const auto end = _now + duration;
        while (_now < end) {
            _now += 10ms;
            _scheduler->tick();
        }
    }

    void receive(const std::string& text) {
        _controller->onConnectionControllerMessageReceived(
            std::vector<uint8_t>(text.begin(), text.end()));
    }

    size_t count(const std::string& text) const {
        return std::count(_r.sent.begin(), _r.sent.end(), text);
    }

    testsupport::TempDir _dir;
    common::JsonFileParams _params;
    common::TaskScheduler::TimePoint _now{std::chrono::hours(1)};
    std::shared_ptr<ManualScheduler> _scheduler;
    Record _r;
    FakeIpc _ipc;
    IdleProcessManager _pm;
    Delegate _delegate;
    std::function<void(std::function<void(bool, const DownloadApplet&)>)> _appletAnswer;
    std::function<void(std::function<void(bool, const UpdateYourself&)>)> _updateAnswer;
    std::unique_ptr<SessionController> _controller;
};

const std::string kHeartbeat = R"({"Type":"Heartbeat"})";

}  // namespace

TEST_F(Session, CompanyTokenFirstThenTheDeviceTokenItIsGiven) {
    make();
    _controller->startSession("ws://backend/ws");
    EXPECT_EQ(_r.headers["Authorization"], "Bearer company");
    EXPECT_EQ(_r.calls.back(), "start ws://backend/ws");

    _controller->onConnectionControllerConnected("", 0, "", "");
    ASSERT_EQ(_r.sent.size(), 1u);
    EXPECT_EQ(_r.sent[0].rfind(R"({"Type":"DeviceUpdate","Platform":"Mac",)", 0), 0u);
    EXPECT_NE(_r.sent[0].find(R"("TimeZone":"Coordinated Universal Time")"), std::string::npos);

    receive(R"({"Type":"CompanyTokenAccepted","DeviceToken":"dev-1"})");
    EXPECT_EQ(_params.getValue("DeviceToken", ""), "dev-1");
    EXPECT_EQ(_r.headers["Authorization"], "Bearer dev-1");

    // Heartbeats at the default period of 3 s while the backend answers.
    for (int i = 0; i < 4; ++i) {
        advance(3000ms);
        receive(kHeartbeat);
    }
    EXPECT_EQ(count(kHeartbeat), 4u);
    // Accepted: no authentication time-out.
    advance(60000ms);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "restart"), 1);  // heartbeat timeout
}

TEST_F(Session, ReconnectsWhenTheBackendNeverAcceptsOrFallsSilent) {
    make();
    _controller->startSession("ws://b");
    _controller->onConnectionControllerConnected("", 0, "", "");
    advance(59990ms);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "restart"), 0);
    advance(20ms);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "restart"), 1);

    // A new connection, accepted, then silence: a reconnect after the heartbeat time-out.
    _controller->onConnectionControllerDisconnected(true);
    _controller->onConnectionControllerConnected("", 0, "", "");
    receive(R"({"Type":"DeviceTokenAccepted"})");
    advance(19000ms);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "restart"), 1);
    // The heartbeat run at 21 s finds 20 s of silence.
    advance(2500ms);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "restart"), 2);
    EXPECT_EQ(count(kHeartbeat), 7u);
}

TEST_F(Session, TasksOfAnOlderConnectionDoNothing) {
    _params.setValue("HeartbeatPeriodInMs", "0");  // falls back to 3000
    make();
    _controller->onConnectionControllerConnected("", 0, "", "");
    receive(R"({"Type":"DeviceTokenAccepted"})");
    advance(1000ms);
    _controller->onConnectionControllerDisconnected(true);
    _controller->onConnectionControllerConnected("", 0, "", "");
    advance(30000ms);
    // Neither the first connection's heartbeat nor its deadline acts on the second one; the
    // second connection's own deadline fires once at 60 s.
    EXPECT_EQ(count(kHeartbeat), 0u);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "restart"), 0);
    advance(31000ms);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "restart"), 1);
}

TEST_F(Session, BadMessagesAreDroppedAndTheSessionGoesOn) {
    auto logs = testsupport::LogCapture::install();
    make();
    _controller->onConnectionControllerConnected("", 0, "", "");
    for (const char* text : {"not json", "[1,2]", "\"Heartbeat\"", R"({"Type":5})"}) {
        receive(text);
    }
    receive(std::string(R"({"Type":"UninstallYourself"})") + std::string("\0garbage", 8));
    receive(R"({"Type":"heartbeat"})");
    receive(R"({"Type":"DownloadApplet","DownloadUrl":"x","Version":5})");
    receive(R"({"Type":"DownloadApplet","DownloadUrl":"x","Version":null})");
    receive(R"({"NoType":1})");
    EXPECT_EQ(logs->count(common::ILogger::Error, "unable to parse message:"), 4u);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "applet x|||"), 1);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "stop"), 1);  // the cut message
}

TEST_F(Session, StopReasonsReachTheDelegateOnlyWhenTheConnectionEnds) {
    make();
    _controller->onConnectionControllerConnected("", 0, "", "");
    _ipc.deliver(msg::CustomerUninstallRequest());
    EXPECT_EQ(_r.sent.back(), R"({"Type":"UninstallRequested"})");
    EXPECT_EQ(_r.calls.back(), "stop");
    _ipc.deliver(msg::OSCloseRequest());  // the first reason wins
    EXPECT_TRUE(_delegate.done.empty());
    // A reconnect that was under way is not carried out: the stop is.
    _controller->onConnectionControllerDisconnected(true);
    _controller->onConnectionControllerConnected("", 0, "", "");
    EXPECT_EQ(_r.calls.back(), "stop");
    _controller->onConnectionControllerDisconnected(false);
    EXPECT_EQ(_delegate.done, (std::vector<StopReason>{StopReason::UninstallRequest}));
}

TEST_F(Session, UpdatesRenamesAndUiAgentRequests) {
    _params.setValue("UpdatePeriodInMs", "60000");
    _updateAnswer = [](std::function<void(bool, const UpdateYourself&)> done) {
        UpdateYourself update;
        update.DownloadUrl = "http://b/good.zip";
        done(true, update);
    };
    _appletAnswer = [](std::function<void(bool, const DownloadApplet&)> done) {
        DownloadApplet applet;
        applet.DownloadUrl = "http://b/a.zip";
        applet.Version = "7";
        done(true, applet);
    };
    make();
    _controller->startUnattendedUpdateChecking();
    advance(20ms);
    ASSERT_GE(_r.calls.size(), 2u);
    EXPECT_EQ(_r.calls[_r.calls.size() - 2], "update http://b/good.zip");
    EXPECT_EQ(_r.calls.back(), "stop");
    _controller->onConnectionControllerDisconnected(false);
    EXPECT_EQ(_delegate.done, (std::vector<StopReason>{StopReason::UpdateRequest}));

    _controller->startAppletUpdateChecking();
    advance(60020ms);
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "cache |7"), 2);

    _ipc.deliver(msg::CustomerJoinSessionRequest{"12 34"});
    EXPECT_EQ(_r.calls.back(), "applet http://b/a.zip|||7");
    _ipc.deliver(msg::ProxyPasswordResponse{L"user", L"pw"});
    EXPECT_EQ(_r.calls.back(), "proxy user");
    _controller->onConnectionControllerRequestProxyCredentials("proxy : 3128");
    EXPECT_EQ(_ipc.sent.back(),
              R"({"message":{"description":"proxy : 3128","$":"ProxyPasswordRequest"}})");

    receive(R"({"Type":"SetDeviceName","DeviceName":"Front desk"})");
    EXPECT_EQ(_params.getValue("DeviceName", ""), "Front desk");
    EXPECT_NE(_r.sent.back().find(R"("DeviceName":"Front desk")"), std::string::npos);

    _params.setValue("NoUpdate", "1");
    receive(R"({"Type":"UpdateYourself","DownloadUrl":"http://b/good2.zip","NewVersion":"2"})");
    EXPECT_EQ(std::count(_r.calls.begin(), _r.calls.end(), "update http://b/good2.zip"), 0);
}
