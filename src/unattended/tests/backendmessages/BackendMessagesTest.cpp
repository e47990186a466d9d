#include "unattended/backendmessages/BackendMessages.h"

#include <gtest/gtest.h>

#include "foundation/persistence/JsonSerialization.h"

using namespace corvalis::unattended;

TEST(BackendMessages, OutgoingMessagesAreCompactWithTypeFirst) {
    std::string text;
    ASSERT_TRUE(persistence::json_serialize(HeartBeatMsg(), text));
    EXPECT_EQ(text, R"({"Type":"Heartbeat"})");
    ASSERT_TRUE(persistence::json_serialize(UninstallRequested(), text));
    EXPECT_EQ(text, R"({"Type":"UninstallRequested"})");
    UnattendedError error;
    error.Message = "a \"quoted\" text";
    ASSERT_TRUE(persistence::json_serialize(error, text));
    EXPECT_EQ(text, R"({"Type":"UnattendedError","Message":"a \"quoted\" text"})");
}

TEST(BackendMessages, DownloadAppletReadsOptionalTextAsStringOrNull) {
    struct Case {
        const char* json;
        bool reads;
        std::string version;
        bool versionSet;
    };
    const Case cases[] = {
        {R"({"Type":"DownloadApplet","DownloadUrl":"x"})", true, "", false},
        {R"({"Type":"DownloadApplet","DownloadUrl":"x","Version":null})", true, "", false},
        {R"({"Type":"DownloadApplet","DownloadUrl":"x","Version":"1.2"})", true, "1.2", true},
        {R"({"Type":"DownloadApplet","DownloadUrl":"x","Version":5})", false, "", false},
        {R"({"Type":"DownloadApplet","DownloadUrl":7})", false, "", false},
        {R"({"Type":"DownloadApplet","DownloadUrl":"x","Extra":[1]})", true, "", false},
        {R"(["DownloadApplet"])", false, "", false},
        {R"("DownloadApplet")", false, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        DownloadApplet record;
        EXPECT_EQ(persistence::json_deserialize(c.json, record), c.reads);
        if (c.reads) {
            EXPECT_EQ(record.DownloadUrl, "x");
            EXPECT_EQ(record.Version.has_value(), c.versionSet);
            EXPECT_EQ(record.Version.value_or(""), c.version);
        }
    }
}

TEST(BackendMessages, AbsentMembersKeepTheirDefaults) {
    SetDeviceName rename;
    ASSERT_TRUE(persistence::json_deserialize(R"({"Type":"SetDeviceName"})", rename));
    EXPECT_EQ(rename.DeviceName, "");
    CompanyTokenAccepted accepted;
    ASSERT_TRUE(persistence::json_deserialize(R"({"Type":"CompanyTokenAccepted"})", accepted));
    EXPECT_EQ(accepted.DeviceToken, "");
    MessageType envelope;
    EXPECT_FALSE(persistence::json_deserialize(R"({"Type":5})", envelope));
    EXPECT_TRUE(persistence::json_deserialize(R"({"Other":1})", envelope));
    EXPECT_EQ(envelope.Type, "");
}
