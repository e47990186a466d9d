// The type-tagged variant encoding and the unqualified type names it uses.

#include <gtest/gtest.h>

#include <boost/variant/get.hpp>

#include <string>
#include <vector>

#include "TestRecords.h"
#include "foundation/persistence/JsonSerialization.h"
#include "foundation/persistence/ScopedUndecoratedName.h"

using interprocess::protocol::Close;
using interprocess::protocol::ConnectTo;
using interprocess::protocol::Root;
namespace ipc = corvalis::unattended::ipcmessages;
using persistence_test::Counted;
using persistence_test::Holder;
using persistence_test::Level;
using persistence_test::Token;

namespace {

template <class T>
std::string Write(const T& object) {
    std::string text;
    EXPECT_TRUE(persistence::json_serialize(object, text));
    return text;
}

using Mixed = boost::variant<ConnectTo, Token, Level, int, Counted>;

}  // namespace

TEST(JsonVariant, WorkedExamples) {
    Root root;
    root.command = ConnectTo{"alpha", "beta"};
    EXPECT_EQ(Write(root), R"({"command":{"to":"alpha","from":"beta","$":"ConnectTo"}})");

    ipc::Message message;
    EXPECT_EQ(Write(message), R"({"message":{"$":"HideIcon"}})");

    message.message = ipc::SessionStateChanged{true};
    EXPECT_EQ(Write(message), R"({"message":{"sessionIsRunning":true,"$":"SessionStateChanged"}})");

    ipc::StoreAutologonCredentials credentials;
    credentials.password = ipc::Sensitive<std::wstring>{L"pw"};
    message.message = credentials;
    EXPECT_EQ(Write(message),
              R"({"message":{"password":{"sensitive":"pw"},"$":"StoreAutologonCredentials"}})");

    ipc::Message unknown;
    unknown.message = ipc::QuitRequest();
    ASSERT_TRUE(persistence::json_deserialize(R"({"message":{"$":"NoSuchMessage"}})", unknown));
    EXPECT_EQ(unknown.message.which(), 1);  // unchanged

    ipc::Message fresh;
    ASSERT_TRUE(persistence::json_deserialize(R"({"message":{"$":"NoSuchMessage"}})", fresh));
    EXPECT_EQ(fresh.message.which(), 0);
}

TEST(JsonVariant, ValuesThatAreNoObjectsGoIntoDollarV) {
    Holder<Mixed> holder;
    struct Case {
        Mixed value;
        const char* expected;
    };
    const Case cases[] = {
        {ConnectTo{"a", ""}, R"({"v":{"to":"a","from":"","$":"ConnectTo"}})"},
        {Token{"t"}, R"({"v":{"$v":"t","$":"Token"}})"},
        {Level::Error, R"({"v":{"$v":5,"$":"Level"}})"},
        {-4, R"({"v":{"$v":-4,"$":"int"}})"},
        {Counted{3, false}, R"({"v":{"n":3,"$":"Counted"}})"},
    };
    for (const auto& c : cases) {
        holder.v = c.value;
        const std::string text = Write(holder);
        EXPECT_EQ(text, c.expected);

        Holder<Mixed> read;
        ASSERT_TRUE(persistence::json_deserialize(text, read)) << text;
        EXPECT_EQ(read.v.which(), c.value.which()) << text;
        EXPECT_EQ(Write(read), text);
    }

    // Optionals inside a variant or an array are written as null.
    Holder<std::vector<boost::variant<boost::optional<int>>>> optionals;
    optionals.v.push_back(boost::optional<int>());
    EXPECT_EQ(Write(optionals), R"({"v":[{"$v":null,"$":"optional<int>"}]})");
}

TEST(JsonVariant, ReaderRules) {
    struct Case {
        const char* json;
        bool succeeds;
        int which;  // the variant starts as Close{9} (alternative 1)
        ConnectTo connect;
    };
    const Case cases[] = {
        {R"({"command":{"to":"a","from":"b","$":"ConnectTo"}})", true, 0, {"a", "b"}},
        {R"({"command":{"$":"ConnectTo","to":"a"}})", true, 0, {"a", ""}},  // "$" anywhere
        {R"({"command":{"$":"ConnectTo"}})", true, 0, {"", ""}},            // a fresh alternative
        {R"({"command":{"$v":{"to":"v"},"to":"x","$":"ConnectTo"}})", true, 0, {"v", ""}},
        {R"({})", true, 1, {}},
        // A "$" that names no alternative, or exactly in another case, changes nothing.
        {R"({"command":{"to":"a","$":"NoSuchCommand"}})", true, 1, {}},
        {R"({"command":{"to":"a","$":"connectto"}})", true, 1, {}},
        {R"({"command":{"to":"a","$":"interprocess::protocol::ConnectTo"}})", true, 1, {}},
        {R"({"command":{"to":"a","$":""}})", true, 1, {}},
        {R"({"command":{"to":"a","$":"ConnectTo\u0000"}})", true, 1, {}},
        // A named alternative that does not read leaves the variant too, without failing.
        {R"({"command":{"to":5,"$":"ConnectTo"}})", true, 1, {}},
        {R"({"command":{"$v":"a","$":"ConnectTo"}})", true, 1, {}},
        {R"({"command":{"$v":null,"$":"ConnectTo"}})", true, 1, {}},
        // No string "$", or no object: the read fails.
        {R"({"command":{"to":"a"}})", false, 1, {}},
        {R"({"command":{"to":"a","$":7}})", false, 1, {}},
        {R"({"command":{"to":"a","$":null}})", false, 1, {}},
        {R"({"command":{"$":["ConnectTo"]}})", false, 1, {}},
        {R"({"command":"ConnectTo"})", false, 1, {}},
        {R"({"command":null})", false, 1, {}},
        {R"({"command":[{"$":"ConnectTo"}]})", false, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        Root root;
        root.command = Close{9};
        EXPECT_EQ(persistence::json_deserialize(c.json, root), c.succeeds);
        ASSERT_EQ(root.command.which(), c.which);
        if (c.which == 0) {
            EXPECT_TRUE(boost::get<ConnectTo>(root.command) == c.connect);
        } else {
            EXPECT_EQ(boost::get<Close>(root.command).channel, 9u);
        }
    }
}

TEST(JsonVariant, AlternativesThatAreNoRecordsReadFromDollarV) {
    struct Case {
        const char* json;
        int which;  // starts at ConnectTo (0)
    };
    const Case cases[] = {
        {R"({"v":{"$v":"t","$":"Token"}})", 1},
        {R"({"v":{"$v":4294967295,"$":"Level"}})", 2},
        {R"({"v":{"$v":-7,"$":"int"}})", 3},
        {R"({"v":{"$v":{"n":1},"$":"Counted"}})", 4},
        {R"({"v":{"n":1,"$":"Counted"}})", 4},
        {R"({"v":{"$v":2147483648,"$":"int"}})", 0},  // out of range: not read
        {R"({"v":{"$":"Token"}})", 0},                // the object itself is no string
        {R"({"v":{"$v":1,"$":"Token"}})", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        Holder<Mixed> read;
        EXPECT_TRUE(persistence::json_deserialize(c.json, read));
        EXPECT_EQ(read.v.which(), c.which);
    }
}

TEST(JsonVariant, FailingAlternativeFailsTheWrite) {
    Holder<Mixed> holder;
    holder.v = Counted{1, true};
    std::string text = "previous";
    EXPECT_FALSE(persistence::json_serialize(holder, text));
    EXPECT_EQ(text, "previous");
}

TEST(JsonVariant, UnqualifiedTypeNames) {
    struct Case {
        const char* mangled;
        const char* unqualified;
    };
    const Case cases[] = {
        {typeid(ConnectTo).name(), "ConnectTo"},
        {typeid(ipc::HideIcon).name(), "HideIcon"},
        {typeid(int).name(), "int"},
        {"N12interprocess8protocol9ConnectToE", "ConnectTo"},
        {"8Unscoped", "Unscoped"},
        // Names that do not demangle are taken as they are.
        {"class interprocess::protocol::ConnectTo", "ConnectTo"},
        {"struct corvalis::unattended::ipcmessages::HideIcon", "HideIcon"},
        {"class struct Both", "Both"},
        {"struct Plain", "Plain"},
        {"Plain", "Plain"},
        {"ends::", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mangled);
        const persistence::scoped_undecorated_name_base name(c.mangled);
        EXPECT_STREQ(name.UnqualifiedName(), c.unqualified);
    }
    const persistence::scoped_undecorated_name_base name(typeid(ConnectTo));
    EXPECT_STREQ(name.FullName(), "interprocess::protocol::ConnectTo");
}
