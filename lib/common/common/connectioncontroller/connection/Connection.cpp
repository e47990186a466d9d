#include "common/connectioncontroller/connection/Connection.h"

#include <utility>

#include "common/util/Util.h"
#include "foundation/core/NonInitializingBuffer.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/INetworkFactory.h"
#include "foundation/network/IWebSocket.h"

namespace common {

namespace {

const char kProxyUsernameKey[] = "ProxyUsername";
const char kProxyPasswordKey[] = "ProxyPassword";

}  // namespace

Connection::Connection(std::shared_ptr<extension::EventLoopEnvironment> environment,
                       ITaskScheduler& scheduler, ISafeStore& safeStore,
                       std::unique_ptr<ILogger> logger)
    : _environment(std::move(environment)),
      _queue(scheduler.getTaskQueue("Connection")),
      _logger(std::move(logger)),
      _safeStore(safeStore),
      _destroyed(std::make_shared<std::atomic<bool>>(false)) {
    const std::wstring user = util::fromBase64(_safeStore.getValue(kProxyUsernameKey, ""));
    const std::wstring password = util::fromBase64(_safeStore.getValue(kProxyPasswordKey, ""));
    if (!user.empty()) {
        if (auto proxy = connectivity()) {
            proxy->SetProxyCredentials(util::toString(user), util::toString(password));
        }
    }
}

Connection::~Connection() {
    _destroyed->exchange(true);
    _queue->finish([](bool&, unsigned long) {});
}

std::shared_ptr<network::INetworkConnectivity> Connection::connectivity() const {
    if (!_environment) {
        return nullptr;
    }
    auto factory = _environment->GetNetworkFactory();
    return factory ? factory->GetNetworkConnectivity() : nullptr;
}

std::map<std::string, std::string> Connection::getConnectionHeaders() {
    return _headers;
}

void Connection::addToConnectionHeader(const std::string& name, const std::string& value) {
    _headers.emplace(name, value);
}

void Connection::clearConnectionHeader() {
    _headers.clear();
}

void Connection::setDisconnectReason(IConnectionDelegate::DisconnectReason reason) {
    _reason = reason;
}

void Connection::connect(const std::string& url) {
    if (_connecting.load()) {
        return;
    }
    if (_webSocket) {
        reconnect(url);
        return;
    }
    _connecting.exchange(true);
    auto factory = _environment ? _environment->GetNetworkFactory() : nullptr;
    auto webSocket = factory ? factory->CreateWebSocket() : nullptr;
    if (!webSocket) {
        _connecting.exchange(false);
        _logger->error("No web socket could be made for %s", url.c_str());
        Liveness destroyed = _destroyed;
        _queue->push(
            [this, destroyed](bool&, unsigned long) {
                if (!destroyed->load()) {
                    reportDisconnect(IConnectionDelegate::Reconnect);
                }
            },
            ITaskQueue::Normal);
        return;
    }
    _webSocket = webSocket;
    const uint64_t generation = ++_generation;
    Liveness destroyed = _destroyed;
    std::map<std::string, std::string> headers = _headers;
    webSocket->Connect(url, std::move(headers),
                       [this, destroyed, generation, url](network::HTTPStatusCode status,
                                                          std::unique_ptr<network::IHTTPResponse>) {
                           if (destroyed->load()) {
                               return;
                           }
                           onConnectCompleted(generation, url, status);
                       });
}

void Connection::reconnect(const std::string& url) {
    const uint64_t generation = _generation;
    Liveness destroyed = _destroyed;
    _webSocket->Close([this, destroyed, generation, url]() {
        if (destroyed->load() || generation != _generation) {
            return;
        }
        _webSocket.reset();
        ++_generation;
        connect(url);
    });
}

void Connection::onConnectCompleted(uint64_t generation, const std::string& url,
                                    network::HTTPStatusCode status) {
    if (generation != _generation) {
        return;  // an attempt on a WebSocket that was dropped since
    }
    _connecting.exchange(false);
    const int code = static_cast<int>(status);
    IConnectionDelegate* delegate = getDelegate();
    if (code == 101) {
        if (delegate != nullptr) {
            auto proxyConnectivity = connectivity();
            network::URL proxy;
            if (proxyConnectivity) {
                proxy = proxyConnectivity->GetProxyForURL(url);
            }
            if (!proxy.host.empty() && proxy.port != 0) {
                std::string user;
                std::string password;
                proxyConnectivity->GetProxyCredentials(user, password);
                delegate->onConnectionConnected(proxy.host, static_cast<uint16_t>(proxy.port), user,
                                                password);
            } else {
                delegate->onConnectionConnected(std::string(), 0, std::string(), std::string());
            }
        }
        startReceive();
        return;
    }
    if (code == 407 && delegate != nullptr) {
        network::URL proxy;
        if (auto proxyConnectivity = connectivity()) {
            proxy = proxyConnectivity->GetProxyForURL(url);
        }
        delegate->onConnectionRequestProxyCredentials(proxy.host + " : " +
                                                      std::to_string(proxy.port));
        return;
    }
    const char* fatal = nullptr;
    switch (code) {
        case 0:
            fatal = "Failed";
            break;
        case 1:
            fatal = "Refused";
            break;
        case 4:
            fatal = "SecureHandshakeFailed";
            break;
        default:
            break;
    }
    if (fatal != nullptr) {
        _logger->error("Fatal connection error occured: %s", fatal);
        if (delegate != nullptr) {
            delegate->onFatalConnectionError();
        }
    }
    reportDisconnect(IConnectionDelegate::Reconnect);
}

void Connection::startReceive() {
    if (!_webSocket) {
        return;
    }
    const uint64_t generation = _generation;
    Liveness destroyed = _destroyed;
    _webSocket->Receive([this, destroyed, generation](network::ITCPSocket::ErrorCode code,
                                                      network::IWebSocket::Payload&& payload) {
        if (destroyed->load()) {
            return;
        }
        onReceiveCompleted(generation, code, std::vector<uint8_t>(payload.begin(), payload.end()));
    });
}

void Connection::onReceiveCompleted(uint64_t generation, network::ITCPSocket::ErrorCode code,
                                    const std::vector<uint8_t>& payload) {
    if (generation != _generation) {
        return;  // the WebSocket was dropped or replaced; its end is no news
    }
    switch (code) {
        case network::ITCPSocket::Success:
            if (IConnectionDelegate* delegate = getDelegate()) {
                delegate->onConnectionMessageReceived(payload);
            }
            if (_webSocket) {
                startReceive();
            } else {
                reportDisconnect(IConnectionDelegate::Requested);
            }
            return;
        case network::ITCPSocket::ConnectionFailure:
        case network::ITCPSocket::SecureHandshakeFailure:
        case network::ITCPSocket::ProxyNegotiationFailure: {
            const char* name = code == network::ITCPSocket::ConnectionFailure ? "ConnectionFailure"
                               : code == network::ITCPSocket::SecureHandshakeFailure
                                   ? "SecureHandshakeFailure"
                                   : "ProxyNegotiationFailure";
            _logger->error("Fatal connection error occured: %s", name);
            if (IConnectionDelegate* delegate = getDelegate()) {
                delegate->onFatalConnectionError();
            }
            reportDisconnect(_reason);
            return;
        }
        case network::ITCPSocket::NetworkUnreachable:
            reportDisconnect(IConnectionDelegate::Reconnect);
            return;
        default:
            reportDisconnect(_reason);
            return;
    }
}

void Connection::reportDisconnect(IConnectionDelegate::DisconnectReason reason) {
    if (IConnectionDelegate* delegate = getDelegate()) {
        delegate->onConnectionDisconnected(reason);
    }
    _pendingSends = 0;
}

void Connection::disconnect() {
    if (!_webSocket) {
        return;
    }
    _logger->info("disconnect (pending sends: %d)", _pendingSends);
    if (_pendingSends > 0) {
        drainPendingSends();
    }
    if (_webSocket) {
        _webSocket->Close([]() {});
    }
    _webSocket.reset();
    ++_generation;
    _connecting.exchange(false);
    if (IConnectionDelegate* delegate = getDelegate()) {
        delegate->onConnectionDisconnected(_reason);
    }
    _pendingSends = 0;
}

void Connection::drainPendingSends() {
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    // The scheduler's clock may be a test clock: count the polls as well.
    const long maxPolls = static_cast<long>(kDrainLimit / kDrainPollInterval);
    auto polls = std::make_shared<long>(0);
    Liveness destroyed = _destroyed;
    _queue->push(
        [this, destroyed, deadline, maxPolls, polls](bool& reschedule, unsigned long) {
            if (destroyed->load() || _pendingSends <= 0) {
                return;
            }
            if (std::chrono::steady_clock::now() >= deadline || ++*polls > maxPolls) {
                _logger->warning("%d pending sends did not complete in %lld ms; closing anyway",
                                 _pendingSends, static_cast<long long>(kDrainLimit.count()));
                return;
            }
            _logger->info("wait for pending sends: %d... ", _pendingSends);
            _environment->PollEventLoop();
            reschedule = _pendingSends > 0;
        },
        kDrainPollInterval, ITaskQueue::Normal);
    _queue->flush([this]() { return _queue->hasTask(); }, false);
}

void Connection::send(const std::vector<uint8_t>& message, std::function<void(bool)> callback) {
    Liveness destroyed = _destroyed;
    if (!_webSocket) {
        // Not connected: the caller hears false, from a task of our queue.
        if (callback) {
            _queue->push(
                [destroyed, callback](bool&, unsigned long) {
                    if (!destroyed->load()) {
                        callback(false);
                    }
                },
                ITaskQueue::Normal);
        }
        return;
    }
    ++_pendingSends;
    _logger->trace("Pending sends before Send: %d", _pendingSends);
    network::IWebSocket::Payload payload(message.data(), message.size());
    const uint64_t generation = _generation;
    _webSocket->Send(std::move(payload),
                     [this, destroyed, generation, callback](network::ITCPSocket::ErrorCode code) {
                         if (destroyed->load()) {
                             return;
                         }
                         if (generation == _generation) {
                             --_pendingSends;
                             if (_pendingSends != 0) {
                                 _logger->debug("Pending sends after Send: %d", _pendingSends);
                             }
                         }
                         if (callback) {
                             callback(code == network::ITCPSocket::Success);
                         }
                     });
}

void Connection::setProxyUserPass(const std::wstring& user, const std::wstring& password) {
    _safeStore.setValue(kProxyUsernameKey, util::toBase64(user));
    _safeStore.setValue(kProxyPasswordKey, util::toBase64(password));
    if (auto proxy = connectivity()) {
        proxy->SetProxyCredentials(util::toString(user), util::toString(password));
    }
}

}  // namespace common
