#include "interprocess/protocol/Protocol.h"

#include <gtest/gtest.h>

#include <string>

#include <boost/variant/get.hpp>

#include "foundation/persistence/JsonSerialization.h"

using namespace interprocess::protocol;

namespace {

std::string write(const Root& root) {
    std::string text;
    EXPECT_TRUE(persistence::json_serialize(root, text));
    return text;
}

TEST(ProtocolTest, CommandsAreWrittenInTheirWireForm) {
    EXPECT_EQ(write(Root(ConnectTo("alpha", "beta"))),
              R"({"command":{"to":"alpha","from":"beta","$":"ConnectTo"}})");
    ConnectAccepted accepted;
    accepted.channel = 1;
    EXPECT_EQ(write(Root(accepted)), R"({"command":{"channel":1,"$":"ConnectAccepted"}})");
    EXPECT_EQ(write(Root(ConnectRejected())), R"({"command":{"$":"ConnectRejected"}})");
    EXPECT_EQ(write(Root(Disconnect())), R"({"command":{"$":"Disconnect"}})");
    EXPECT_EQ(write(Root(Shutdown())), R"({"command":{"$":"Shutdown"}})");
    Ping ping;
    ping.id = "abc";
    EXPECT_EQ(write(Root(ping)), R"({"command":{"id":"abc","$":"Ping"}})");
    Pong pong;
    pong.id = "abc";
    EXPECT_EQ(write(Root(pong)), R"({"command":{"id":"abc","$":"Pong"}})");
}

TEST(ProtocolTest, DataTextSurvivesQuotesAndLineBreaks) {
    Data data;
    data.json = "{\"a\":\"b\\\"c\"}\n\tline\r\n";
    const std::string text = write(Root(data));
    Root read;
    ASSERT_TRUE(persistence::json_deserialize(text, read));
    ASSERT_EQ(read.command.which(), 7);
    EXPECT_EQ(boost::get<Data>(read.command).json, data.json);
}

// What the reader makes of each text: whether it succeeds, which command it holds, and the
// command's one interesting member.
TEST(ProtocolTest, DecodeTable) {
    const struct {
        const char* text;
        bool ok;
        int which;
        std::string member;
    } cases[] = {
        {R"({"command":{"channel":2,"$":"ConnectAccepted"}})", true, 1, "2"},
        {R"({"command":{"channel":-1,"$":"ConnectAccepted"}})", true, 0, "/"},
        {R"({"command":{"channel":1.5,"$":"ConnectAccepted"}})", true, 0, "/"},
        {R"({"command":{"$":"Hello"}})", true, 0, "/"},
        {R"({"other":1})", true, 0, "/"},
        {R"({"command":{"id":7,"$":"Ping"}})", true, 0, "/"},
        {R"({"command":{"id":"x","$":"Pong","extra":[1]}})", true, 6, "x"},
        {R"({"command":{"to":"a","from":"b","$":"ConnectTo"}})", true, 0, "a/b"},
        {R"({"command":{"$":"Data"}})", true, 7, ""},
        {R"({"command":{"$":"Shutdown"}})", true, 4, ""},
        {R"({"command":{"channel":2}})", false, 0, ""},
        {R"({"command":"Ping"})", false, 0, ""},
        {R"({"command":{"$":3}})", false, 0, ""},
        {R"([1])", false, 0, ""},
        {"not json", false, 0, ""},
        {"", false, 0, ""},
    };
    for (const auto& c : cases) {
        Root root;
        const bool ok = persistence::json_deserialize(c.text, root);
        EXPECT_EQ(ok, c.ok) << c.text;
        if (!ok || !c.ok) {
            continue;
        }
        EXPECT_EQ(root.command.which(), c.which) << c.text;
        std::string member;
        switch (root.command.which()) {
            case 0: {
                const auto& to = boost::get<ConnectTo>(root.command);
                member = to.to + "/" + to.from;
                break;
            }
            case 1:
                member = std::to_string(boost::get<ConnectAccepted>(root.command).channel);
                break;
            case 6:
                member = boost::get<Pong>(root.command).id;
                break;
            case 7:
                member = boost::get<Data>(root.command).json;
                break;
            default:
                break;
        }
        EXPECT_EQ(member, c.member) << c.text;
    }
}

}  // namespace
