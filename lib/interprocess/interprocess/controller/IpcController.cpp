#include "interprocess/controller/IpcController.h"

#include <utility>
#include <vector>

#include "interprocess/datalink/IDataLink.h"

namespace interprocess {

namespace {

const char* const kServiceAddress = "Service";
// At most this many of the controller's own tasks run during a stop.
constexpr int kStopFlushLimit = 1000;

}  // namespace

std::unique_ptr<IIpcController> IIpcController::create(const std::string& participant,
                                                       const std::string& prefix,
                                                       common::ITaskScheduler& scheduler,
                                                       std::unique_ptr<common::ILogger> logger) {
    return std::make_unique<IpcController>(participant, prefix, scheduler, std::move(logger));
}

IpcController::IpcController(const std::string& participant, const std::string& prefix,
                             common::ITaskScheduler& scheduler,
                             std::unique_ptr<common::ILogger> logger, Connection::Clock clock)
    : _prefix(prefix),
      _participant(participant),
      _scheduler(scheduler),
      _queue(scheduler.getTaskQueue("IpcController")),
      _logger(logger ? std::move(logger) : common::ILogger::create("IpcController")),
      _clock(std::move(clock)) {}

IpcController::~IpcController() {
    stop();
    _transports.clear();
    _link.reset();
    _listener.reset();
    _logger.reset();
    _queue.reset();
}

bool IpcController::start() {
    _logger->info("start: '%s' ...", _participant.c_str());
    _link = IAsynchronousDataLink::create(IDataLink::create(_prefix, _participant),
                                          _scheduler.getTaskQueue("AsynchronousDataLink"));
    if (!_link->init()) {
        _logger->error("unable to create data link");
        return false;
    }
    _listener = makeTransport(
        std::make_unique<Connection>(_link, _scheduler, false, std::string(), 0, _clock),
        "ListenerTransport");
    _listener->listen();
    return true;
}

std::unique_ptr<ITransport> IpcController::makeTransport(std::unique_ptr<IConnection> connection,
                                                         const std::string& queueName) {
    auto transport = ITransport::create(std::move(connection), _scheduler.getTaskQueue(queueName),
                                        common::ILogger::create("Transport"));
    transport->setDelegate(this);
    return transport;
}

void IpcController::keep(const std::string& address, std::unique_ptr<ITransport> transport) {
    // The replaced transport is destroyed after the map no longer refers to it.
    std::unique_ptr<ITransport> replaced = std::move(_transports[address]);
    _transports[address] = std::move(transport);
    _generations[address] = _nextGeneration++;
    replaced.reset();
}

std::string IpcController::findAddressForApplication(
    const helper::ApplicationType& application) const {
    const std::string name = helper::ToString(application);
    for (const auto& entry : _transports) {
        if (entry.first.compare(0, name.size(), name) == 0) {
            return entry.first;
        }
    }
    return std::string();
}

bool IpcController::send(const helper::ApplicationType& application, const std::string& json) {
    if (json.empty()) {
        return false;
    }
    const std::string address = findAddressForApplication(application);
    if (!address.empty()) {
        _queue->push(
            [this, address, json](bool&, unsigned long) {
                const auto found = _transports.find(address);
                if (found != _transports.end() && found->second) {
                    found->second->send(json, ITransport::MostOnce, [](bool) {});
                }
            },
            std::chrono::milliseconds(0), common::ITaskQueue::Normal);
    } else {
        _logger->debug("queue message to: '%s', json: '%s'", helper::ToString(application),
                       json.c_str());
        _pending[application].push_back(json);
    }
    return true;
}

bool IpcController::synchronousSend(const helper::ApplicationType& application,
                                    const std::string& json) {
    if (json.empty()) {
        return false;
    }
    const std::string address = findAddressForApplication(application);
    if (address.empty()) {
        _logger->warning("unable to find address for application: '%s'",
                         helper::ToString(application));
        return false;
    }
    const auto found = _transports.find(address);
    if (found == _transports.end() || !found->second) {
        _logger->warning("unable to find transport layer for application: '%s'",
                         helper::ToString(application));
        return false;
    }
    return found->second->synchronousSend(json);
}

void IpcController::connectToService(std::function<void(bool)> completion) {
    _queue->push(
        [this, completion](bool&, unsigned long) {
            if (_transports.count(kServiceAddress) != 0 && _transports[kServiceAddress]) {
                if (completion) {
                    completion(true);
                }
                return;
            }
            if (!_link) {
                _logger->error("unable to connect to '%s': not started", kServiceAddress);
                if (completion) {
                    completion(false);
                }
                return;
            }
            auto transport = makeTransport(
                std::make_unique<Connection>(_link, _scheduler, false, std::string(), 0, _clock),
                "Transport");
            ITransport* raw = transport.get();
            keep(kServiceAddress, std::move(transport));
            raw->connect(kServiceAddress, [completion](bool ok) {
                if (completion) {
                    completion(ok);
                }
            });
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}

bool IpcController::stop() {
    if (isStopped()) {
        return false;
    }
    // What was sent before the stop still goes out: the queued sends reach their transports,
    // the transports hand them to the link, and stopping the link carries them out.
    int budget = kStopFlushLimit;
    _queue->flush([this, &budget] { return budget-- > 0 && _queue->hasTask(); }, true);
    for (auto& entry : _transports) {
        if (entry.second) {
            entry.second->flush();
        }
    }
    _transports.clear();
    _generations.clear();
    if (_link) {
        _link->stop();
    }
    if (_listener) {
        _listener->setDelegate(nullptr);
        _listener->disconnect();
    }
    _queue->finish(
        [this](bool&, unsigned long) {
            _logger->info("stop");
            _transports.clear();
            _generations.clear();
        },
        false);
    // Also when the queue could not run its last task (its scheduler is gone).
    _transports.clear();
    _generations.clear();
    return markStopped();
}

void IpcController::onTransportDisconnected(const ITransport& transport) {
    const std::string address = transport.getParticipantName();
    const auto found = _transports.find(address);
    if (found == _transports.end() || found->second.get() != &transport) {
        // Not (any more) the transport kept under that address.
        return;
    }
    const unsigned long long generation = _generations[address];
    _queue->push(
        [this, address, generation](bool&, unsigned long) {
            const auto kept = _transports.find(address);
            const auto current = _generations.find(address);
            if (kept == _transports.end() || current == _generations.end() ||
                current->second != generation) {
                return;
            }
            _logger->info("participant disconnected: '%s'", address.c_str());
            notifyClients(&IIpcControllerClient::onIpcClientDisconnected, address);
            // Looked up again: an observer may have changed the map.
            const auto still = _transports.find(address);
            const auto generationNow = _generations.find(address);
            if (still != _transports.end() && generationNow != _generations.end() &&
                generationNow->second == generation) {
                std::unique_ptr<ITransport> removed = std::move(still->second);
                _transports.erase(still);
                _generations.erase(generationNow);
            }
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}

void IpcController::onTransportConnecting(const ITransport&) const {}

void IpcController::onTransportConnected(const ITransport& transport) {
    const std::string address = transport.getParticipantName();
    _logger->info("connection connected: '%s' to '%s'", transport.getName().c_str(),
                  address.c_str());
    notifyClients(&IIpcControllerClient::onIpcClientConnected, address);
    const helper::ApplicationType application = helper::getApplicationFromAddress(address);
    const auto pending = _pending.find(application);
    if (pending == _pending.end()) {
        return;
    }
    std::deque<std::string> messages = std::move(pending->second);
    _pending.erase(pending);
    for (const auto& json : messages) {
        send(application, json);
    }
}

void IpcController::onTransportDisconnecting(const ITransport&) const {}

void IpcController::onTransportListening(const ITransport&) const {}

unsigned long IpcController::onTransportConnectRequest(const ITransport&,
                                                       const std::string& participant) {
    _logger->info("connection request from: '%s'", participant.c_str());
    const unsigned long channel = _nextChannel++;
    keep(participant, makeTransport(std::make_unique<Connection>(_link, _scheduler, true,
                                                                 participant, channel, _clock),
                                    "Transport"));
    return channel;
}

void IpcController::onTransportDataReceived(const ITransport& transport,
                                            const std::string& payload) {
    const helper::ApplicationType application =
        helper::getApplicationFromAddress(transport.getParticipantName());
    if (static_cast<int>(application) == 0) {
        return;
    }
    _queue->push(
        [this, application, payload](bool&, unsigned long) {
            notifyClients(&IIpcControllerClient::onIpcClientMessageReceived, application, payload);
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}

void IpcController::onTransportSynchronousDataReceived(const ITransport& transport,
                                                       const std::string& payload) {
    const helper::ApplicationType application =
        helper::getApplicationFromAddress(transport.getParticipantName());
    if (static_cast<int>(application) == 0) {
        return;
    }
    notifyClients(&IIpcControllerClient::onIpcClientSynchronousMessageReceived, application,
                  payload);
}

}  // namespace interprocess
