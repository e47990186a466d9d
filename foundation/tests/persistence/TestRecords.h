#pragma once

#include <rapidjson/document.h>

#include <boost/optional/optional.hpp>
#include <boost/variant/variant.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "foundation/persistence/JsonSerialization.h"

// Records shaped like the ones the programs declare, for the persistence tests.

namespace interprocess {
namespace protocol {

struct ConnectTo {
    std::string to;
    std::string from;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("to", to) &
            persistence::member_variable("from", from);
    }
    bool operator==(const ConnectTo& other) const { return to == other.to && from == other.from; }
};

struct Close {
    unsigned long long channel = 0;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("channel", channel);
    }
    bool operator==(const Close& other) const { return channel == other.channel; }
};

struct Root {
    boost::variant<ConnectTo, Close> command;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("command", command);
    }
};

}  // namespace protocol
}  // namespace interprocess

namespace corvalis {
namespace unattended {
namespace ipcmessages {

template <class T>
struct Sensitive {
    T sensitive;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("sensitive", sensitive);
    }
    bool operator==(const Sensitive& other) const { return sensitive == other.sensitive; }
};

struct HideIcon {
    template <class Archive>
    void Persist(Archive&) {}
};

struct QuitRequest {
    template <class Archive>
    void Persist(Archive&) {}
};

struct SessionStateChanged {
    bool sessionIsRunning = false;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("sessionIsRunning", sessionIsRunning);
    }
};

struct StoreAutologonCredentials {
    boost::optional<Sensitive<std::wstring>> username;
    boost::optional<Sensitive<std::wstring>> password;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("username", username) &
            persistence::member_variable("password", password);
    }
};

struct Message {
    boost::variant<HideIcon, QuitRequest, SessionStateChanged, StoreAutologonCredentials> message;

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("message", message);
    }
};

}  // namespace ipcmessages
}  // namespace unattended
}  // namespace corvalis

namespace persistence_test {

// A record with a single member "v" of the kind under test.
template <class T>
struct Holder {
    T v{};

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("v", v);
    }
};

enum class Level : int { Trace = 0, Info = 2, Error = 5 };
enum class Flags : unsigned int { None = 0 };

// A type that converts itself, like the metric record: an object {"n": count}. Writing is
// refused while `broken` is set; reading refuses anything but an object with an integer "n".
struct Counted {
    int64_t n = 0;
    bool broken = false;

    bool ToJSON(rapidjson::Value& out, rapidjson::Document::AllocatorType& allocator) const {
        if (broken) {
            return false;
        }
        out.SetObject();
        out.AddMember("n", rapidjson::Value(n), allocator);
        return true;
    }
    bool FromJSON(const rapidjson::Value& in) {
        if (!in.IsObject() || !in.HasMember("n") || !in["n"].IsInt64()) {
            return false;
        }
        n = in["n"].GetInt64();
        return true;
    }
    bool operator==(const Counted& other) const { return n == other.n; }
};

// A type that converts itself to a JSON string, so that a variant puts it in "$v".
struct Token {
    std::string text;

    bool ToJSON(rapidjson::Value& out, rapidjson::Document::AllocatorType& allocator) const {
        out.SetString(text.c_str(), allocator);
        return true;
    }
    bool FromJSON(const rapidjson::Value& in) {
        if (!in.IsString()) {
            return false;
        }
        text = in.GetString();
        return true;
    }
    bool operator==(const Token& other) const { return text == other.text; }
};

}  // namespace persistence_test
