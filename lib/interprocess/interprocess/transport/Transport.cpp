#include "interprocess/transport/Transport.h"

#include <boost/variant/get.hpp>

#include <utility>

#include "common/util/Util.h"
#include "foundation/persistence/JsonSerialization.h"

namespace interprocess {

namespace {

const char* const kIdAlphabet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr unsigned long kIdLength = 10;

}  // namespace

constexpr std::chrono::milliseconds Transport::kResendInterval;
constexpr std::chrono::microseconds Transport::kGiveUpAfter;

const char* ToString(const ITransport::QOS& qos) {
    switch (qos) {
        case ITransport::MostOnce:
            return "MostOnce";
        case ITransport::LeastOnce:
            return "LeastOnce";
        case ITransport::ExactlyOnce:
            return "ExactlyOnce";
    }
    return "Unknown";
}

std::unique_ptr<ITransport> ITransport::create(std::unique_ptr<IConnection> connection,
                                               std::unique_ptr<common::ITaskQueue> queue,
                                               std::unique_ptr<common::ILogger> logger) {
    return std::make_unique<Transport>(std::move(connection), std::move(queue), std::move(logger));
}

Transport::Transport(std::unique_ptr<IConnection> connection,
                     std::unique_ptr<common::ITaskQueue> queue,
                     std::unique_ptr<common::ILogger> logger, Clock clock)
    : _connection(std::move(connection)),
      _queue(std::move(queue)),
      _logger(std::move(logger)),
      _running(true),
      _clock(std::move(clock)) {
    if (!_clock) {
        _clock = [] { return std::chrono::steady_clock::now(); };
    }
    if (!_logger) {
        _logger = common::ILogger::create("Transport");
    }
    if (_connection) {
        _connection->setDelegate(this);
    }
    if (_queue) {
        _queue->push([this](bool& reschedule, unsigned long) { resend(reschedule); },
                     kResendInterval, common::ITaskQueue::Normal);
    }
}

Transport::~Transport() {
    if (_connection) {
        _connection->setDelegate(nullptr);
    }
    _running = false;
    if (_queue) {
        _queue->finish([](bool&, unsigned long) {}, false);
    }
    _queue.reset();
    _pending.clear();
    _logger.reset();
    _connection.reset();
}

void Transport::connect(const std::string& participant, std::function<void(bool)> callback) {
    if (_connection) {
        _connection->connect(participant, std::move(callback));
    } else if (callback) {
        callback(false);
    }
}

void Transport::disconnect() {
    if (_connection) {
        _connection->disconnect();
    }
}

void Transport::listen() {
    if (_connection) {
        _connection->listen();
    }
}

std::string Transport::envelope(const Message& message) const {
    Root root;
    root.data = message;
    std::string text;
    persistence::json_serialize(root, text);
    return text;
}

void Transport::send(const std::string& payload, const QOS& qos,
                     std::function<void(bool)> completion) {
    _logger->debug("send message on qos: '%s'", ToString(qos));
    _logger->trace("send message: '%s'", payload.c_str());

    if (qos != MostOnce && qos != LeastOnce) {
        // Not offered: the caller learns it through the completion.
        _logger->error("delivery on qos '%s' not implemented", ToString(qos));
        if (completion) {
            completion(false);
        }
        return;
    }
    if (!_connection) {
        if (completion) {
            completion(false);
        }
        return;
    }

    Message message;
    message.created = _clock();
    message.id = common::util::generateNanoId(kIdLength, kIdAlphabet);
    message.json = payload;
    if (qos == MostOnce) {
        const std::string text = envelope(message);
        _connection->send(text, [completion = std::move(completion)](bool ok) {
            if (completion) {
                completion(ok);
            }
        });
        return;
    }
    message.callback = std::move(completion);
    const std::string text = envelope(message);
    _pending.push_back(std::move(message));
    _connection->send(text, [](bool) {});
}

bool Transport::synchronousSend(const std::string& payload) {
    if (!_connection) {
        return false;
    }
    Message message;
    message.created = _clock();
    message.id = common::util::generateNanoId(kIdLength, kIdAlphabet);
    message.json = payload;
    return _connection->synchronousSend(envelope(message));
}

std::string Transport::getName() const {
    return _connection ? _connection->getName() : std::string();
}

std::string Transport::getParticipantName() const {
    return _connection ? _connection->getParticipantName() : std::string();
}

void Transport::flush() {
    if (_connection) {
        _connection->flush();
    }
}

void Transport::resend(bool& reschedule) {
    if (!_running) {
        return;
    }
    const auto now = _clock();
    std::list<Message> expired;
    for (auto it = _pending.begin(); it != _pending.end();) {
        const auto next = std::next(it);
        if (now - it->created >= kGiveUpAfter) {
            expired.splice(expired.end(), _pending, it);
        } else if (_connection) {
            _connection->send(envelope(*it), [](bool) {});
        }
        it = next;
    }
    reschedule = true;
    for (auto& message : expired) {
        if (message.callback) {
            message.callback(false);
        }
    }
}

void Transport::received(const std::string& text, bool synchronous) {
    Root root;
    if (!persistence::json_deserialize(text, root)) {
        return;
    }
    if (const Message* message = boost::get<Message>(&root.data)) {
        if (auto* delegate = getDelegate()) {
            if (synchronous) {
                delegate->onTransportSynchronousDataReceived(*this, message->json);
            } else {
                delegate->onTransportDataReceived(*this, message->json);
            }
        }
        return;
    }
    const Ack& ack = boost::get<Ack>(root.data);
    for (auto it = _pending.begin(); it != _pending.end(); ++it) {
        if (it->id == ack.id) {
            auto callback = std::move(it->callback);
            _pending.erase(it);
            if (callback) {
                callback(true);
            }
            return;
        }
    }
}

void Transport::onConnectionDisconnected(const IConnection&) {
    if (auto* delegate = getDelegate()) {
        delegate->onTransportDisconnected(*this);
    }
}

void Transport::onConnectionConnecting(const IConnection&) const {
    if (auto* delegate = getDelegate()) {
        delegate->onTransportConnecting(*this);
    }
}

void Transport::onConnectionConnected(const IConnection&) {
    if (auto* delegate = getDelegate()) {
        delegate->onTransportConnected(*this);
    }
}

void Transport::onConnectionDisconnecting(const IConnection&) const {
    if (auto* delegate = getDelegate()) {
        delegate->onTransportDisconnecting(*this);
    }
}

void Transport::onConnectionListening(const IConnection&) const {
    if (auto* delegate = getDelegate()) {
        delegate->onTransportListening(*this);
    }
}

unsigned long Transport::onConnectionConnectRequest(const IConnection&,
                                                    const std::string& participant) {
    if (auto* delegate = getDelegate()) {
        return delegate->onTransportConnectRequest(*this, participant);
    }
    return 0;
}

void Transport::onConnectionDataReceived(const IConnection&, const std::string& text) {
    received(text, false);
}

void Transport::onConnectionSynchronousDataReceived(const IConnection&, const std::string& text) {
    received(text, true);
}

}  // namespace interprocess
