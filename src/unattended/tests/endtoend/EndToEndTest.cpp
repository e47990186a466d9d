// The built daemon against the local test backend, on the default and the legacy network path.

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/wait.h>

#include <boost/filesystem/operations.hpp>

#include <chrono>

#include "DaemonFixture.h"
#include "testsupport/TempDir.h"

namespace fs = boost::filesystem;

namespace endtoend {
namespace {

using EndToEnd = DaemonFixture;

TEST_P(EndToEnd, FirstFrameIsABinaryDeviceUpdateThenTheDeviceTokenIsUsed) {
    startAccepted();
    rapidjson::Document all;
    const auto updates = sent("DeviceUpdate", all);
    ASSERT_FALSE(updates.empty());
    const auto& first = updates.front();
    EXPECT_TRUE(first["binary"].GetBool());
    ASSERT_TRUE(first["message"].IsObject());
    EXPECT_EQ(first["message"].MemberCount(), 22u);
    EXPECT_EQ(std::string(first["message"].MemberBegin()->name.GetString()), "Type");
    auto connects = events("ws-connect");
    ASSERT_GE(connects.Size(), 1u);
    EXPECT_EQ(std::string(connects[0]["authorization"].GetString()), "Bearer CT");

    const auto accepted = events("accepted");
    const std::string token = accepted[0]["device_token"].GetString();
    // Heartbeats flow both ways at the short period.
    ASSERT_TRUE(waitUntil([&] { return heartbeats() >= 3; })) << log();

    // The server closes: the daemon comes back with the device token it was given.
    const double closedAt =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    control("POST", "/control/close");
    ASSERT_TRUE(waitUntil([&] { return count("ws-connect") >= 2; })) << log();
    connects = events("ws-connect");
    EXPECT_EQ(std::string(connects[1]["authorization"].GetString()), "Bearer " + token);
    // The reconnect waits its 5000 ms after the drop, which came after the close was asked for
    // (a lower bound only: the backend stamps events with the same system clock).
    EXPECT_GE(connects[1]["time"].GetDouble() - closedAt, 4.95);
    EXPECT_TRUE(waitUntil([&] { return count("accepted") >= 2; })) << log();
}

TEST_P(EndToEnd, MissingServerHeartbeatsLeadToAReconnect) {
    startAccepted({"-HeartbeatTimeoutInMs", "2000"});
    control("POST", "/control/config", R"({"heartbeats": false})");
    EXPECT_TRUE(waitUntil([&] { return count("ws-connect") >= 2; })) << log();
}

TEST_P(EndToEnd, MalformedMessagesNeverStopTheSession) {
    startAccepted();
    const std::string messages[] = {
        "not json at all",
        "[1,2,3]",
        std::string(R"({"Type":"SetDeviceName","DeviceName":"a)") + '\0' + "b\"}",
        R"({"Type":"NoSuchMessage"})",
        R"({"Type":"SetDeviceName","DeviceName":42})",
        R"({"Type":17})",
        R"({"Type":"DownloadApplet","DownloadUrl":["x"]})",
        "{\"Type\":\"Heartbeat\"",
        "",
    };
    for (const auto& message : messages) {
        send(message);
    }
    const size_t before = heartbeats();
    ASSERT_TRUE(waitUntil([&] { return heartbeats() >= before + 5; })) << log();
    EXPECT_NE(log().find("unable to parse message"), std::string::npos);
    EXPECT_EQ(count("ws-connect"), 1u);
    EXPECT_EQ(count("applet-started"), 0u);
}

TEST_P(EndToEnd, SetDeviceNameIsSentInTheNextDeviceUpdate) {
    startAccepted();
    send(R"({"Type":"SetDeviceName","DeviceName":"Kitchen Mac"})");
    rapidjson::Document all;
    auto named = [&] {
        for (const auto& update : sent("DeviceUpdate", all)) {
            if (update["message"].HasMember("DeviceName") &&
                update["message"]["DeviceName"].IsString() &&
                std::string(update["message"]["DeviceName"].GetString()) == "Kitchen Mac") {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(waitUntil(named)) << log();
}

TEST_P(EndToEnd, DownloadAppletStartsTheAppletsDaemon) {
    startAccepted();
    send(R"({"Type":"DownloadApplet","DownloadUrl":")" + url() + R"(/files/applet.zip"})");
    ASSERT_TRUE(waitUntil([&] { return count("applet-started") >= 1; })) << log();
    const auto started = events("applet-started");
    const auto& arguments = started[0]["arguments"];
    ASSERT_EQ(arguments.Size(), 5u);
    EXPECT_EQ(std::string(arguments[0].GetString()), "-regsvc");
    EXPECT_EQ(std::string(arguments[1].GetString()), "-Encrypted");
    EXPECT_EQ(std::string(arguments[3].GetString()), "-Salt");
    // The safe store's encrypted form (empty while it holds nothing) and the salt, as stored.
    EXPECT_EQ(arguments[2].GetString(), stateValue(_install / "unattended.json", "Encrypted"));
    EXPECT_EQ(arguments[4].GetString(), stateValue(_install / "unattended.json", "Salt"));
    EXPECT_EQ(std::string(arguments[4].GetString()).size(), 16u);
}

TEST_P(EndToEnd, AVersionedAppletIsDownloadedOnceAndThenStartedFromTheCache) {
    _dir.write("files/params.json", R"({"Session":"fresh"})");
    startAccepted();
    const std::string message = R"({"Type":"DownloadApplet","DownloadUrl":")" + url() +
                                R"(/files/applet.zip","GetBinariesUrl":")" + url() +
                                R"(/files/applet.zip","GetParamsUrl":")" + url() +
                                R"(/files/params.json","Version":"3.1.4"})";
    auto requests = [&](const std::string& name) {
        size_t found = 0;
        const auto files = events("file");
        for (const auto& event : files.GetArray()) {
            found += name == event["name"].GetString() ? 1 : 0;
        }
        return found;
    };
    for (size_t round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        send(message);
        ASSERT_TRUE(waitUntil([&] { return count("applet-started") >= round; })) << log();
        EXPECT_EQ(requests("params.json"), round);
    }
    EXPECT_EQ(requests("applet.zip"), 1u);
}

TEST_P(EndToEnd, UninstallYourselfRemovesOnlyTheInstallationAndExitsZero) {
    startAccepted();
    const fs::path neighbour = _dir / "neighbour.txt";
    _dir.write("neighbour.txt", "stays");
    send(R"({"Type":"UninstallYourself"})");
    EXPECT_EQ(exitCode(), 0);
    EXPECT_FALSE(fs::exists(_install));
    EXPECT_TRUE(fs::exists(neighbour));
    EXPECT_TRUE(fs::exists(_dir / "files/applet.zip"));
}

TEST_P(EndToEnd, AnUpdateThatCannotBeUnpackedLeavesTheProgramAndKeepsTheSession) {
    const struct {
        const char* name;
        const char* archive;
    } cases[] = {
        {"damaged", "damaged.zip"},
        {"escaping", "escaping.zip"},
    };
    _dir.write("files/damaged.zip", "PK\x03\x04 this is no archive");
    zip("escaping.zip", {"fine.txt", "fine", "../outside.txt", "escaped"});
    _noUpdate = "0";
    startAccepted();
    const std::string program = testsupport::TempDir::read(_daemon);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        send(R"({"Type":"UpdateYourself","NewVersion":"2.0.0.1","DownloadUrl":")" + url() +
             "/files/" + c.archive + R"("})");
        const std::string refused =
            std::string(c.archive) + "' -d '" + _install.string() + "' refused: ";
        ASSERT_TRUE(waitUntil([&] { return log().find(refused) != std::string::npos; })) << log();
        const size_t before = heartbeats();
        EXPECT_TRUE(waitUntil([&] { return heartbeats() >= before + 3; }));
        EXPECT_TRUE(daemonRunning());
    }
    EXPECT_EQ(testsupport::TempDir::read(_daemon), program);
    EXPECT_FALSE(fs::exists(_install / "fine.txt"));
    EXPECT_FALSE(fs::exists(_dir / "outside.txt"));
    EXPECT_FALSE(fs::exists(_install / "outside.txt"));
    EXPECT_EQ(count("ws-connect"), 1u);
}

TEST_P(EndToEnd, AGoodUpdateIsUnpackedIntoTheProgramFolderAndTheDaemonExitsOne) {
    zip("update.zip", {"new-part.txt", "second version", "Resources/more.txt", "more"});
    _noUpdate = "0";
    startAccepted();
    send(R"({"Type":"UpdateYourself","NewVersion":"2.0.0.1","DownloadUrl":")" + url() +
         R"(/files/update.zip"})");
    EXPECT_EQ(exitCode(), 1) << log();
    EXPECT_EQ(testsupport::TempDir::read(_install / "new-part.txt"), "second version");
    EXPECT_EQ(testsupport::TempDir::read(_install / "Resources/more.txt"), "more");
    EXPECT_TRUE(fs::exists(_daemon));
}

INSTANTIATE_TEST_SUITE_P(Networking, EndToEnd, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Legacy" : "Qt");
                         });

}  // namespace
}  // namespace endtoend
