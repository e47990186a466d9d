#pragma once

#include <boost/variant/variant.hpp>

#include <string>

#include "foundation/persistence/MemberVariable.h"

// The connection protocol: every payload a connection puts into a queue frame is one `Root`,
// the JSON object {"command": {<members>, "$": "<command name>"}}.
namespace interprocess {
namespace protocol {

// Handshake request: "to" is the listener addressed, "from" the requester.
struct ConnectTo {
    ConnectTo() = default;
    ConnectTo(const std::string& to, const std::string& from) : to(to), from(from) {}

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("to", to) &
            persistence::member_variable("from", from);
    }

    std::string to;
    std::string from;
};

// Handshake answer: the channel the requester uses from now on.
struct ConnectAccepted {
    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("channel", channel);
    }

    unsigned long channel = 0;
};

// Handshake refusal.
struct ConnectRejected {
    template <class Archive>
    void Persist(Archive&) {}
};

// Request to close the connection.
struct Disconnect {
    template <class Archive>
    void Persist(Archive&) {}
};

// Answer to Disconnect: the peer has closed its side.
struct Shutdown {
    template <class Archive>
    void Persist(Archive&) {}
};

// Keep-alive probe with a fresh 10-character id.
struct Ping {
    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("id", id);
    }

    std::string id;
};

// Keep-alive answer with the id of the Ping it answers.
struct Pong {
    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("id", id);
    }

    std::string id;
};

// Payload of the layer above (the transport envelope), as a JSON string.
struct Data {
    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("json", json);
    }

    std::string json;
};

using Command = boost::variant<ConnectTo, ConnectAccepted, ConnectRejected, Disconnect, Shutdown,
                               Ping, Pong, Data>;

struct Root {
    Root() = default;
    template <class T>
    explicit Root(T value) : command(std::move(value)) {}

    template <class Archive>
    void Persist(Archive& archive) {
        archive& persistence::member_variable("command", command);
    }

    Command command;
};

}  // namespace protocol
}  // namespace interprocess
