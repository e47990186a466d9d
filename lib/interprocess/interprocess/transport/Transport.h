#pragma once

#include <boost/variant/variant.hpp>

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "foundation/persistence/MemberVariable.h"
#include "interprocess/transport/ITransport.h"

namespace interprocess {

class Transport : public ITransport, public IConnectionDelegate {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // One payload in its envelope. The callback and the creation time live in memory only.
    struct Message {
        Message() : created(std::chrono::steady_clock::now()) {}

        template <class Archive>
        void Persist(Archive& archive) {
            archive& persistence::member_variable("id", id) &
                persistence::member_variable("json", json);
        }

        std::string id;
        std::string json;
        std::function<void(bool)> callback;
        // When the message was made, on the transport's monotonic clock.
        std::chrono::steady_clock::time_point created;
    };

    struct Ack {
        template <class Archive>
        void Persist(Archive& archive) {
            archive& persistence::member_variable("id", id);
        }

        std::string id;
    };

    struct Root {
        template <class Archive>
        void Persist(Archive& archive) {
            archive& persistence::member_variable("data", data);
        }

        boost::variant<Message, Ack> data;
    };

    static constexpr std::chrono::milliseconds kResendInterval{1000};
    static constexpr std::chrono::microseconds kGiveUpAfter{6000000};

    // An empty clock stands for the steady clock.
    Transport(std::unique_ptr<IConnection> connection, std::unique_ptr<common::ITaskQueue> queue,
              std::unique_ptr<common::ILogger> logger, Clock clock = Clock());
    ~Transport() override;

    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    void connect(const std::string& participant, std::function<void(bool)> callback) override;
    void disconnect() override;
    void listen() override;
    void send(
        const std::string& payload, const QOS& qos,
        std::function<void(bool)> completion = [](bool) {}) override;
    bool synchronousSend(const std::string& payload) override;
    std::string getName() const override;
    std::string getParticipantName() const override;
    void flush() override;

    void onConnectionDisconnected(const IConnection& connection) override;
    void onConnectionConnecting(const IConnection& connection) const override;
    void onConnectionConnected(const IConnection& connection) override;
    void onConnectionDisconnecting(const IConnection& connection) const override;
    void onConnectionListening(const IConnection& connection) const override;
    unsigned long onConnectionConnectRequest(const IConnection& connection,
                                             const std::string& participant) override;
    void onConnectionDataReceived(const IConnection& connection, const std::string& text) override;
    void onConnectionSynchronousDataReceived(const IConnection& connection,
                                             const std::string& text) override;

private:
    std::string envelope(const Message& message) const;
    void resend(bool& reschedule);
    void received(const std::string& text, bool synchronous);

    std::unique_ptr<IConnection> _connection;
    std::unique_ptr<common::ITaskQueue> _queue;
    std::unique_ptr<common::ILogger> _logger;
    std::list<Message> _pending;
    bool _running = false;
    Clock _clock;
};

}  // namespace interprocess
