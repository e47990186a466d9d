#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/actor/Actor.h"
#include "common/logger/ILogger.h"
#include "foundation/persistence/JsonSerialization.h"
#include "interprocess/asynchronousdatalink/IAsynchronousDataLinkClient.h"
#include "interprocess/connection/IConnection.h"
#include "interprocess/protocol/Protocol.h"

namespace interprocess {

// The IPC connection state machine: Init, Connecting, Connected, Disconnecting and Listening,
// driven by a 100 ms tick. Time-outs are counted in ticks from the entry into a state; the age
// of an unanswered ping is measured on a monotonic clock.
class Connection : public IConnection, private IAsynchronousDataLinkClient {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct RequestConnect {
        std::string participant;
        std::function<void(bool)> callback;
    };
    struct RequestDisconnect {};
    struct RequestListen {};
    struct RequestSend {
        std::string text;
        std::function<void(bool)> callback;
    };
    struct RequestSendSync {
        std::string text;
    };
    struct Timer {};

    static constexpr std::chrono::milliseconds kTick{100};
    static constexpr unsigned long kConnectingTicks = 30;
    static constexpr unsigned long kPingCheckTicks = 10;
    static constexpr unsigned long kDisconnectingTicks = 20;
    static constexpr std::int64_t kPingTimeoutSeconds = 6;
    static constexpr std::int64_t kSlowPongSeconds = 2;

    // Init (Connected with `participant` on `channel` when `connected`). An empty clock stands
    // for the steady clock.
    Connection(std::shared_ptr<IAsynchronousDataLink> link, common::ITaskScheduler& scheduler,
               bool connected, const std::string& participant, const unsigned long& channel,
               Clock clock = Clock());
    ~Connection() override;

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void connect(const std::string& participant, std::function<void(bool)> callback) override;
    void disconnect() override;
    void listen() override;
    void send(const std::string& text, std::function<void(bool)> callback) override;
    bool synchronousSend(const std::string& text) override;
    std::string getName() const override;
    std::string getParticipantName() const override;
    void flush() override;

    // The compact JSON text of a record; empty when it cannot be written.
    template <typename T>
    std::string ToJson(const T& record) const {
        std::string text;
        if (!persistence::json_serialize(record, text)) {
            return std::string();
        }
        return text;
    }

private:
    class ProtocolVisitor;
    class SyncVisitor;
    using Actor = common::Actor<Connection>;

    void onAsynchronousDataLinkMessageReceived(std::string source, unsigned long channel,
                                               std::string text) override;
    void onAsynchronousDataLinkSynchronousMessageReceived(std::string source, unsigned long channel,
                                                          std::string text) override;

    void onInit(Actor& actor, bool notify);
    void onConnecting(Actor& actor, std::function<void(bool)> callback);
    void onConnected(Actor& actor);
    void onDisconnecting(Actor& actor);
    void onListening(Actor& actor);

    void toInit();
    void setChannel(const unsigned long& channel);
    void startTimer();
    std::int64_t nowSeconds() const;
    // Sends one command to the participant on the channel; the callback runs only while this
    // connection lives.
    void sendCommand(const protocol::Root& root, const std::string& participant,
                     unsigned long channel, std::function<void(bool)> callback);

    std::shared_ptr<IAsynchronousDataLink> _link;
    std::unique_ptr<common::ITaskQueue> _timerQueue;
    std::unique_ptr<common::ILogger> _logger;
    std::unique_ptr<Actor> _actor;
    unsigned long _channel = 0;
    std::string _participant;
    std::int64_t _lastPingTime = 0;
    bool _pingAnswered = true;
    bool _timerRunning = false;
    unsigned long _connectingTicks = 0;
    unsigned long _connectedTicks = 0;
    unsigned long _disconnectingTicks = 0;
    Clock _clock;
    // Send completions hold a weak reference: they do nothing once the connection is gone.
    std::shared_ptr<char> _alive;
};

}  // namespace interprocess
