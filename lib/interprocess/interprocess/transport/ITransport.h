#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/delegate/Delegate.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "interprocess/connection/IConnection.h"
#include "interprocess/transport/ITransportDelegate.h"

namespace interprocess {

// The message layer on one IPC connection: wraps each payload in the transport envelope with a
// fresh identifier, offers the delivery modes, unpacks arriving envelopes for the delegate and
// forwards the connection's state changes to it.
class ITransport : public common::Delegate<ITransportDelegate> {
public:
    enum QOS : std::int32_t {
        MostOnce = 0,
        LeastOnce = 1,
        ExactlyOnce = 2,
    };

    static std::unique_ptr<ITransport> create(std::unique_ptr<IConnection> connection,
                                              std::unique_ptr<common::ITaskQueue> queue,
                                              std::unique_ptr<common::ILogger> logger);

    ~ITransport() override = default;

    virtual void connect(const std::string& participant, std::function<void(bool)> callback) = 0;
    virtual void disconnect() = 0;
    virtual void listen() = 0;
    virtual void send(
        const std::string& payload, const QOS& qos,
        std::function<void(bool)> completion = [](bool) {}) = 0;
    // Blocks until the peer has handled the payload (see IConnection::synchronousSend).
    virtual bool synchronousSend(const std::string& payload) = 0;
    virtual std::string getName() const = 0;
    virtual std::string getParticipantName() const = 0;
    // Hands the sends already requested to the link now (see IConnection::flush).
    virtual void flush() {}
};

// "MostOnce", "LeastOnce", "ExactlyOnce"; "Unknown" for any other value.
const char* ToString(const ITransport::QOS& qos);

}  // namespace interprocess
