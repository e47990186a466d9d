#include "unattended/ipcmessages/UnattendedIpcMessage.h"

#include <gtest/gtest.h>

using corvalis::unattended::UnattendedIpcMessage;
namespace msg = corvalis::unattended::ipcmessages;

TEST(UnattendedIpcMessage, WritesMembersThenTheRecordName) {
    msg::SessionStateChanged state;
    state.sessionIsRunning = true;
    msg::StoreAutologonCredentials onlyUser;
    onlyUser.username = msg::Sensitive<std::wstring>{L"al\u00efce"};
    msg::AppletDownloadStatus status;
    status.status = static_cast<msg::AppletDownloadStatus::Status>(-3);
    const struct {
        UnattendedIpcMessage message;
        const char* text;
    } cases[] = {
        {UnattendedIpcMessage(), R"({"message":{"$":"HideIcon"}})"},
        {msg::QuitRequest(), R"({"message":{"$":"QuitRequest"}})"},
        {state, R"({"message":{"sessionIsRunning":true,"$":"SessionStateChanged"}})"},
        {status, R"({"message":{"status":-3,"$":"AppletDownloadStatus"}})"},
        {msg::StoreAutologonCredentials(), R"({"message":{"$":"StoreAutologonCredentials"}})"},
        {onlyUser,
         "{\"message\":{\"username\":{\"sensitive\":\"al\xc3\xaf"
         "ce\"},\"$\":\"StoreAutologonCredentials\"}}"},
        {msg::ProxyPasswordRequest{"proxy : 3128"},
         R"({"message":{"description":"proxy : 3128","$":"ProxyPasswordRequest"}})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnattendedIpcMessage::ToString(c.message), c.text);
    }
}

TEST(UnattendedIpcMessage, ReadsTheRecordOrFallsBackToHideIcon) {
    const struct {
        const char* text;
        int which;
    } cases[] = {
        {R"({"message":{"$":"QuitRequest"}})", 1},
        {R"({"message":{"$":"quitrequest"}})", 0},
        {R"({"message":{}})", 0},
        {R"({"other":{"$":"QuitRequest"}})", 0},
        {R"({"message":{"$":5}})", 0},
        {R"({"message":"QuitRequest"})", 0},
        {R"({"message":{"sessionIsRunning":"yes","$":"SessionStateChanged"}})", 0},
        {R"({"message":{"$":"SessionStateChanged"}})", 5},
        {R"({"message":{"$":"SessionStateChanged","sessionIsRunning":true}})", 5},
        {R"({"message":{"status":-2147483648,"$":"AppletDownloadStatus"}})", 6},
        {R"({"message":{"$":"CustomerUninstallRequest","extra":[1,2]}})", 3},
        {R"([1,2])", 0},
        {"not json", 0},
        {"", 0},
        {R"({"message":{"$":"ProxyPasswordResponse","username":1}})", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(UnattendedIpcMessage::FromString(c.text).message.which(), c.which);
    }
}

TEST(UnattendedIpcMessage, RoundTripsWideAndSecretTexts) {
    msg::ProxyPasswordResponse response{L"\u00fcser", L"p\u00e4ss \u20ac\U0001F511\"\\"};
    const auto back = UnattendedIpcMessage::FromString(UnattendedIpcMessage::ToString(response));
    bool handled = false;
    EXPECT_FALSE(back.Handle<msg::QuitRequest>([](const msg::QuitRequest&) {}));
    EXPECT_TRUE(back.Handle<msg::ProxyPasswordResponse>([&](const msg::ProxyPasswordResponse& r) {
        handled = true;
        EXPECT_EQ(r.username, response.username);
        EXPECT_EQ(r.password, response.password);
    }));
    EXPECT_TRUE(handled);

    const auto credentials = UnattendedIpcMessage::FromString(
        R"({"message":{"username":{"sensitive":"u"},"password":null,"$":"StoreAutologonCredentials"}})");
    ASSERT_TRUE(credentials.Holds<msg::StoreAutologonCredentials>());
    const auto& record = boost::get<msg::StoreAutologonCredentials>(credentials.message);
    ASSERT_TRUE(record.username.has_value());
    EXPECT_EQ(record.username->sensitive, L"u");
    EXPECT_FALSE(record.password.has_value());

    const auto emptySecret = UnattendedIpcMessage::FromString(
        R"({"message":{"password":{},"$":"StoreAutologonCredentials"}})");
    ASSERT_TRUE(emptySecret.Holds<msg::StoreAutologonCredentials>());
    const auto& secret = boost::get<msg::StoreAutologonCredentials>(emptySecret.message);
    ASSERT_TRUE(secret.password.has_value());
    EXPECT_EQ(secret.password->sensitive, L"");
}
