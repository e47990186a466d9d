#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/delegate/Delegate.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "interprocess/asynchronousdatalink/IAsynchronousDataLink.h"
#include "interprocess/connection/IConnectionDelegate.h"

namespace interprocess {

// One channel-numbered conversation between two participants over a shared asynchronous data
// link: handshake (as requester or listener), keep-alive pings, payloads both ways and an
// orderly close. Every change is told to the delegate.
class IConnection : public common::Delegate<IConnectionDelegate> {
public:
    // A connection in Init, for the requester and the listener.
    static std::unique_ptr<IConnection> create(std::shared_ptr<IAsynchronousDataLink> link,
                                               common::ITaskScheduler& scheduler);
    // A connection that starts Connected with that peer on that channel.
    static std::unique_ptr<IConnection> create(std::shared_ptr<IAsynchronousDataLink> link,
                                               common::ITaskScheduler& scheduler,
                                               const std::string& participant,
                                               const unsigned long& channel);

    ~IConnection() override = default;

    // The callback gets true when the handshake is accepted, false when it is refused, times
    // out or the request cannot be sent.
    virtual void connect(const std::string& participant, std::function<void(bool)> callback) = 0;
    virtual void disconnect() = 0;
    virtual void listen() = 0;
    // The callback always gets the outcome.
    virtual void send(const std::string& text, std::function<void(bool)> callback) = 0;
    // Blocks until the peer has handled the text; false in every state but Connected.
    virtual bool synchronousSend(const std::string& text) = 0;
    virtual std::string getName() const = 0;
    virtual std::string getParticipantName() const = 0;
    // Handles the requests already made (for example queued sends) now, on the calling thread;
    // used before the connection is released.
    virtual void flush() {}
};

}  // namespace interprocess
