#include "interprocess/connection/Connection.h"

#include <boost/variant/apply_visitor.hpp>
#include <boost/variant/static_visitor.hpp>

#include <utility>

#include "common/util/Util.h"

namespace interprocess {

namespace {

const char* const kIdAlphabet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr unsigned long kIdLength = 10;

}  // namespace

constexpr std::chrono::milliseconds Connection::kTick;

// Dispatches the held command to the actor as an event.
class Connection::ProtocolVisitor : public boost::static_visitor<void> {
public:
    explicit ProtocolVisitor(Actor& actor) : _actor(actor) {}
    template <typename T>
    void operator()(const T& command) const {
        _actor.dispatch(command);
    }

private:
    Actor& _actor;
};

// Acts on a Data that arrived in a synchronous frame; every other command is ignored.
class Connection::SyncVisitor : public boost::static_visitor<void> {
public:
    explicit SyncVisitor(Connection& connection) : _connection(connection) {}
    void operator()(const protocol::Data& data) const {
        if (auto* delegate = _connection.getDelegate()) {
            delegate->onConnectionSynchronousDataReceived(_connection, data.json);
        }
    }
    template <typename T>
    void operator()(const T&) const {}

private:
    Connection& _connection;
};

std::unique_ptr<IConnection> IConnection::create(std::shared_ptr<IAsynchronousDataLink> link,
                                                 common::ITaskScheduler& scheduler) {
    return std::make_unique<Connection>(std::move(link), scheduler, false, std::string(), 0);
}

std::unique_ptr<IConnection> IConnection::create(std::shared_ptr<IAsynchronousDataLink> link,
                                                 common::ITaskScheduler& scheduler,
                                                 const std::string& participant,
                                                 const unsigned long& channel) {
    return std::make_unique<Connection>(std::move(link), scheduler, true, participant, channel);
}

Connection::Connection(std::shared_ptr<IAsynchronousDataLink> link,
                       common::ITaskScheduler& scheduler, bool connected,
                       const std::string& participant, const unsigned long& channel, Clock clock)
    : _link(std::move(link)),
      _timerQueue(scheduler.getTaskQueue("Connection")),
      _logger(common::ILogger::create("Connection")),
      _actor(std::make_unique<Actor>(this, scheduler.getTaskQueue("ConnectionActor"))),
      _clock(std::move(clock)),
      _alive(std::make_shared<char>(0)) {
    if (!_clock) {
        _clock = [] { return std::chrono::steady_clock::now(); };
    }
    startTimer();
    _logger->setSubFacility(getName());
    if (_link) {
        _link->subscribe(this);
    }
    if (!connected) {
        _actor->became<bool>(&Connection::onInit, false);
    } else {
        _participant = participant;
        setChannel(channel);
        _actor->became(&Connection::onConnected);
    }
}

Connection::~Connection() {
    setDelegate(nullptr);
    _alive.reset();
    if (_link) {
        _link->unsubscribe(this);
        _link.reset();
    }
    _timerRunning = false;
    if (_timerQueue) {
        _timerQueue->finish([](bool&, unsigned long) {}, false);
    }
    _timerQueue.reset();
    _participant.clear();
    _actor.reset();
    _logger.reset();
}

void Connection::connect(const std::string& participant, std::function<void(bool)> callback) {
    _logger->info("connect request to '%s'", participant.c_str());
    _actor->dispatch(RequestConnect{participant, std::move(callback)});
}

void Connection::disconnect() {
    _logger->info("disconnect request");
    _actor->dispatch(RequestDisconnect{});
}

void Connection::listen() {
    _logger->info("listen request");
    _actor->dispatch(RequestListen{});
}

void Connection::send(const std::string& text, std::function<void(bool)> callback) {
    _logger->debug("send message request");
    _logger->trace("send message request: '%s'", text.c_str());
    _actor->dispatch(RequestSend{text, std::move(callback)});
}

bool Connection::synchronousSend(const std::string& text) {
    return _actor->query<bool>(RequestSendSync{text});
}

std::string Connection::getName() const {
    return _link ? _link->getName() : std::string();
}

std::string Connection::getParticipantName() const {
    return _participant;
}

void Connection::flush() {
    _actor->flush();
}

void Connection::setChannel(const unsigned long& channel) {
    _channel = channel;
    if (_link) {
        _logger->setSubFacility(getName() + ":" + std::to_string(channel));
    } else {
        _logger->setSubFacility(std::string());
    }
}

void Connection::startTimer() {
    _timerRunning = true;
    _timerQueue->push(
        [this](bool& reschedule, unsigned long) {
            if (!_timerRunning) {
                return;
            }
            _actor->dispatch(Timer{});
            reschedule = true;
        },
        kTick, common::ITaskQueue::Normal);
}

std::int64_t Connection::nowSeconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(_clock().time_since_epoch()).count();
}

void Connection::onAsynchronousDataLinkMessageReceived(std::string /*source*/,
                                                       unsigned long channel, std::string text) {
    if (channel != _channel) {
        return;
    }
    protocol::Root root;
    if (!persistence::json_deserialize(text, root)) {
        return;
    }
    boost::apply_visitor(ProtocolVisitor(*_actor), root.command);
}

void Connection::onAsynchronousDataLinkSynchronousMessageReceived(std::string /*source*/,
                                                                  unsigned long channel,
                                                                  std::string text) {
    if (channel != _channel) {
        return;
    }
    protocol::Root root;
    if (!persistence::json_deserialize(text, root)) {
        return;
    }
    boost::apply_visitor(SyncVisitor(*this), root.command);
}

void Connection::sendCommand(const protocol::Root& root, const std::string& participant,
                             unsigned long channel, std::function<void(bool)> callback) {
    if (!_link) {
        if (callback) {
            callback(false);
        }
        return;
    }
    std::weak_ptr<char> alive = _alive;
    _link->send(participant, channel, ToJson(root),
                [alive, callback = std::move(callback)](bool ok) {
                    if (alive.expired() || !callback) {
                        return;
                    }
                    callback(ok);
                });
}

void Connection::toInit() {
    _actor->became<bool>(&Connection::onInit, true);
}

void Connection::onInit(Actor& actor, bool notify) {
    _logger->info("disconnected");
    if (notify) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionDisconnected(*this);
        }
    }
    setChannel(0);
    _participant.clear();

    actor.subscribe<RequestConnect>([this](Actor&, RequestConnect request) {
        _participant = request.participant;
        const std::string name = request.participant;
        auto callback = std::move(request.callback);
        sendCommand(protocol::Root(protocol::ConnectTo(name, getName())), name, 0,
                    [this, name, callback](bool ok) {
                        if (ok) {
                            _actor->became<std::function<void(bool)>>(&Connection::onConnecting,
                                                                      callback);
                            return;
                        }
                        _logger->error("unable to connect to '%s'", name.c_str());
                        toInit();
                        if (callback) {
                            callback(false);
                        }
                    });
    });
    actor.subscribe<RequestListen>(
        [this](Actor&, RequestListen) { _actor->became(&Connection::onListening); });
    actor.subscribe<RequestSend>([](Actor&, RequestSend request) {
        if (request.callback) {
            request.callback(false);
        }
    });
}

void Connection::onConnecting(Actor& actor, std::function<void(bool)> callback) {
    _logger->info("connecting");
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionConnecting(*this);
    }
    _connectingTicks = 0;

    actor.subscribe<protocol::ConnectAccepted>(
        [this, callback](Actor&, protocol::ConnectAccepted accepted) {
            _logger->info("connection accepted on channel: %lu", accepted.channel);
            setChannel(accepted.channel);
            _actor->became(&Connection::onConnected);
            if (callback) {
                callback(true);
            }
        });
    actor.subscribe<protocol::ConnectRejected>([this, callback](Actor&, protocol::ConnectRejected) {
        _logger->error("connection request rejected");
        toInit();
        if (callback) {
            callback(false);
        }
    });
    actor.subscribe<Timer>([this, callback](Actor&, Timer) {
        if (_connectingTicks++ != kConnectingTicks) {
            return;
        }
        _logger->error("timeout");
        toInit();
        if (callback) {
            callback(false);
        }
    });
    actor.subscribe<RequestSend>([](Actor&, RequestSend request) {
        if (request.callback) {
            request.callback(false);
        }
    });
}

void Connection::onConnected(Actor& actor) {
    _logger->info("connected");
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionConnected(*this);
    }
    _connectedTicks = 0;

    actor.subscribe<Timer>([this](Actor&, Timer) {
        if (_connectedTicks++ < kPingCheckTicks) {
            return;
        }
        if (!_pingAnswered) {
            if (nowSeconds() - _lastPingTime >= kPingTimeoutSeconds) {
                _logger->error("ping timeout");
                toInit();
            }
        } else if (_link) {
            const std::string id = common::util::generateNanoId(kIdLength, kIdAlphabet);
            _logger->trace("sending ping: %s", id.c_str());
            protocol::Ping ping;
            ping.id = id;
            sendCommand(protocol::Root(ping), _participant, _channel, [this](bool ok) {
                if (ok) {
                    _lastPingTime = nowSeconds();
                    _pingAnswered = false;
                    return;
                }
                _logger->error("unable to send ping");
                toInit();
            });
        }
        _connectedTicks = 0;
    });
    actor.subscribe<protocol::Ping>([this](Actor&, protocol::Ping ping) {
        _logger->trace("receive ping, sending pong, id: %s", ping.id.c_str());
        if (!_link) {
            return;
        }
        protocol::Pong pong;
        pong.id = ping.id;
        sendCommand(protocol::Root(pong), _participant, _channel, [this](bool ok) {
            if (!ok) {
                _logger->error("unable to send pong");
                toInit();
            }
        });
    });
    actor.subscribe<protocol::Pong>([this](Actor&, protocol::Pong) {
        _pingAnswered = true;
        const std::int64_t difference = nowSeconds() - _lastPingTime;
        if (difference >= kSlowPongSeconds) {
            _logger->warning("Time between Ping and Pong is greater then 1 second. %lld",
                             static_cast<long long>(difference));
        }
    });
    actor.subscribe<protocol::Data>([this](Actor&, protocol::Data data) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionDataReceived(*this, data.json);
        }
    });
    actor.subscribe<RequestSend>([this](Actor&, RequestSend request) {
        protocol::Data data;
        data.json = request.text;
        auto callback = std::move(request.callback);
        sendCommand(protocol::Root(data), _participant, _channel, [this, callback](bool ok) {
            if (callback) {
                callback(ok);
            }
            if (!ok) {
                _logger->error("unable to send message");
                toInit();
            }
        });
    });
    actor.subscribe<bool, RequestSendSync>([this](Actor&, RequestSendSync request) {
        if (!_link) {
            return false;
        }
        protocol::Data data;
        data.json = request.text;
        return _link->synchronousSend(_participant, _channel, ToJson(protocol::Root(data)));
    });
    actor.subscribe<RequestDisconnect>([this](Actor&, RequestDisconnect) {
        sendCommand(protocol::Root(protocol::Disconnect()), _participant, _channel,
                    [this](bool ok) {
                        if (ok) {
                            _actor->became(&Connection::onDisconnecting);
                            return;
                        }
                        _logger->warning("unable to send disconnect message");
                        toInit();
                    });
    });
    actor.subscribe<protocol::Disconnect>([this](Actor&, protocol::Disconnect) {
        sendCommand(protocol::Root(protocol::Shutdown()), _participant, _channel, [this](bool ok) {
            if (!ok) {
                _logger->warning("unable to send shutdown");
            }
            toInit();
        });
    });
}

void Connection::onDisconnecting(Actor& actor) {
    _logger->info("disconnecting");
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionDisconnecting(*this);
    }
    _disconnectingTicks = 0;

    actor.subscribe<protocol::Shutdown>([this](Actor&, protocol::Shutdown) {
        _logger->info("shutdown received");
        toInit();
    });
    actor.subscribe<Timer>([this](Actor&, Timer) {
        if (_disconnectingTicks++ < kDisconnectingTicks) {
            return;
        }
        _logger->warning("disconnect timeout");
        toInit();
    });
    actor.subscribe<RequestSend>([](Actor&, RequestSend request) {
        if (request.callback) {
            request.callback(false);
        }
    });
}

void Connection::onListening(Actor& actor) {
    _logger->info("listening");
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionListening(*this);
    }

    actor.subscribe<protocol::ConnectTo>([this](Actor&, protocol::ConnectTo request) {
        unsigned long channel = 0;
        if (auto* delegate = getDelegate()) {
            channel = delegate->onConnectionConnectRequest(*this, request.from);
        }
        if (!_link) {
            return;
        }
        if (channel != 0) {
            protocol::ConnectAccepted accepted;
            accepted.channel = channel;
            sendCommand(protocol::Root(accepted), request.from, _channel, nullptr);
        } else {
            sendCommand(protocol::Root(protocol::ConnectRejected()), request.from, _channel,
                        nullptr);
        }
    });
    actor.subscribe<RequestDisconnect>([this](Actor&, RequestDisconnect) { toInit(); });
    actor.subscribe<RequestSend>([](Actor&, RequestSend request) {
        if (request.callback) {
            request.callback(false);
        }
    });
}

}  // namespace interprocess
