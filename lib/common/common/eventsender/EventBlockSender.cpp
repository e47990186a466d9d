#include "common/eventsender/EventBlockSender.h"

#include <algorithm>
#include <utility>

#include "common/tokenrequester/QueryErrorName.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/INetworkFactory.h"
#include "foundation/persistence/JsonSerialization.h"

namespace common {

namespace {

constexpr const char* kSendEventsPath = "api/sendEvents";

int nextQueryId() {
    static int nextId = 0;
    return nextId++;
}

void noTask(bool&, unsigned long) {}

}  // namespace

EventBlockSender::EventBlockSender(std::string component,
                                   std::shared_ptr<network::INetworkFactory> networkFactory,
                                   std::unique_ptr<ITaskQueue> queue, IParams& params,
                                   std::unique_ptr<ILogger> logger,
                                   std::unique_ptr<IJsonTokenRequester> tokenRequester,
                                   const IQtPlatform& qtPlatform, Clock clock)
    : _networkFactory(networkFactory),
      _queue(std::move(queue)),
      _params(params),
      _tokenRequester(std::move(tokenRequester)),
      _monitoringToken(params.getValue("MonitoringToken", "")),
      _monitoringUrl(params.getValue("MonitoringUrl", "")),
      _logger(std::move(logger)),
      _component(std::move(component)),
      _qtPlatform(qtPlatform),
      _hostId(params.getValue("HostId", "")),
      _installationId(params.getValue("InstallationId", "")),
      _sessionId(params.getValue("SessionId", "")),
      _deviceId(params.getValue("DeviceId", "")),
      _clock(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })) {}

EventBlockSender::~EventBlockSender() {
    _queue->finish(noTask, true);
    _runningQueries.clear();
}

void EventBlockSender::sendEvents(std::vector<JsonLogEvent>&& events, SendingMethod method) {
    send(std::move(events), LogEvents, method);
}

void EventBlockSender::sendEvents(std::vector<metrics::Record>&& records, SendingMethod method) {
    send(std::move(records), MetricRecords, method);
}

boost::signals2::connection EventBlockSender::connectErrorSignal(std::function<void()>&& function) {
    return _errorSignal.connect(std::move(function));
}

void EventBlockSender::setErrorHandler(const IEventBlockSenderErrorHandler* handler) {
    _errorHandler = handler;
}

std::size_t EventBlockSender::pendingRequestCount() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _pendingRequests.size();
}

uint64_t EventBlockSender::droppedRequests() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _dropped;
}

template <class T>
void EventBlockSender::send(std::vector<T>&& items, EventType type, SendingMethod method) {
    SendEventRequest<T> request;
    request.MonitoringToken = _monitoringToken;
    request.Records.installationId = _installationId;
    request.Records.component = _component;
    request.Records.computerId = _hostId;
    request.Records.sessionId = _sessionId;
    request.Records.deviceId = _deviceId;
    request.Records.events = std::move(items);
    std::string json;
    if (persistence::json_serialize(request, json)) {
        sendRequest(json, type, method, 0);
    }
}

void EventBlockSender::sendRequest(const std::string& json, EventType type, SendingMethod method,
                                   int attempts) {
    PendingRequest request{type, method, json, attempts};
    if (_renewing) {
        keepPending(std::move(request));
        return;
    }
    if (_monitoringUrl.empty()) {
        _logger->error("MonitoringUrl is empty");
        requestUrlAndToken();
        keepPending(std::move(request));
        return;
    }
    const std::string target = _monitoringUrl + "/" + kSendEventsPath;
    if (_params.getValueAs<bool>("UseLegacyNetworking", false)) {
        sendOverLegacy(target, request);
    } else {
        sendOverQt(target, request);
    }
}

void EventBlockSender::sendOverQt(const std::string& target, const PendingRequest& request) {
    const int queryId = nextQueryId();
    IQtPlatform::HttpQueryPtr query = _qtPlatform.createQuery();
    if (!query) {
        _logger->error("Event sending request could not be made");
        sendFailed(request, false);
        return;
    }
    query->setOperation(IHttpQuery::Post);
    query->setContentType("application/json");
    query->setBody(request.json);
    query->setUrl(target);
    query->setErrorHandler([this, request](IHttpQuery::Error error) {
        const std::string name = queryErrorName(error);
        _logger->error("Event sending request has been denied with the following error: %s",
                       name.c_str());
        const bool tokenRefused = error == IHttpQuery::ContentAccessDenied;
        if (!tokenRefused) {
            reportError(name);
        } else if (!_renewing) {
            _logger->info("Requesting new URL and token");
            requestUrlAndToken();
        }
        sendFailed(request, tokenRefused);
    });
    query->setFinishedHandler([this, queryId](bool success) {
        if (success) {
            _logger->trace("Event sending succeeded!");
            sendSucceeded();
        }
        _runningQueries.erase(queryId);
    });
    query->execute();
    if (request.method == Asynchronous) {
        _runningQueries[queryId] = std::move(query);
        return;
    }
    query->waitForFinished(kBlockingWaitMs);
    query.reset();
}

void EventBlockSender::sendOverLegacy(const std::string& target, const PendingRequest& request) {
    const auto factory = _networkFactory.lock();
    auto connection = factory ? factory->CreateHTTPConnection() : nullptr;
    if (!connection) {
        _logger->error("Failed to lock environment while trying to send events.");
        return;
    }
    auto httpRequest = connection->CreateRequest();
    httpRequest->SetMethod("POST");
    httpRequest->SetContentType("application/json");
    httpRequest->SetBody(core::NonInitializingBuffer<unsigned char>(
        reinterpret_cast<const unsigned char*>(request.json.data()), request.json.size()));
    std::weak_ptr<bool> alive = _alive;
    connection->SubmitRequest(
        target, std::move(httpRequest),
        [this, alive, request](network::HTTPStatusCode status,
                               std::unique_ptr<network::IHTTPResponse> response) {
            response.reset();
            if (!alive.lock()) {
                return;
            }
            if (status == 202) {
                sendSucceeded();
                return;
            }
            _logger->error(
                "Event sending request has been denied with the following status code: %d",
                static_cast<int>(status));
            const bool tokenRefused = status == 403;
            if (!tokenRefused) {
                reportError(std::to_string(static_cast<int>(status)));
            }
            sendFailed(request, tokenRefused);
            if (tokenRefused && !_renewing) {
                _logger->info("Requesting new URL and token");
                requestUrlAndToken();
            }
        });
}

void EventBlockSender::reportError(const std::string& error) const {
    if (const IEventBlockSenderErrorHandler* handler = _errorHandler.load()) {
        handler->sendError(error);
    }
}

void EventBlockSender::sendSucceeded() {
    _consecutiveFailures = 0;
}

void EventBlockSender::sendFailed(PendingRequest request, bool tokenRefused) {
    ++request.attempts;
    if (request.attempts >= kMaxSendAttempts) {
        _logger->warning("Dropping an event block after %d failed sends", request.attempts);
        std::lock_guard<std::mutex> lock(_mutex);
        ++_dropped;
        return;
    }
    keepPending(std::move(request));
    if (!tokenRefused) {
        ++_consecutiveFailures;
        scheduleRetry();
    }
}

void EventBlockSender::keepPending(PendingRequest request) {
    uint64_t dropped = 0;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_pendingRequests.size() >= kMaxPendingRequests) {
            _pendingRequests.pop_front();
            dropped = ++_dropped;
        }
        _pendingRequests.push_back(std::move(request));
    }
    if (dropped > 0) {
        _logger->warning("Too many event blocks waiting: dropped the oldest (%llu so far)",
                         static_cast<unsigned long long>(dropped));
    }
}

void EventBlockSender::scheduleRetry() {
    if (_retryScheduled) {
        return;
    }
    _retryScheduled = true;
    const int doublings = std::min(std::max(_consecutiveFailures - 1, 0), 16);
    const std::chrono::milliseconds delay =
        std::min<std::chrono::milliseconds>(kFirstRetryDelay * (1LL << doublings), kMaxRetryDelay);
    _queue->push(
        [this](bool&, unsigned long) {
            _retryScheduled = false;
            if (!_renewing) {
                resendPendingRequests();
            }
        },
        delay, ITaskQueue::Normal);
}

void EventBlockSender::requestUrlAndToken() {
    if (_renewalScheduled) {
        return;
    }
    _renewalScheduled = true;
    std::chrono::milliseconds delay{0};
    if (_renewedBefore) {
        const auto earliest = _lastRenewal + kMinRenewalInterval;
        const auto now = _clock();
        if (earliest > now) {
            delay = std::chrono::ceil<std::chrono::milliseconds>(earliest - now);
        }
    }
    _queue->push(
        [this](bool&, unsigned long) {
            _renewalScheduled = false;
            startRenewal();
        },
        delay, ITaskQueue::Normal);
}

void EventBlockSender::startRenewal() {
    _renewing = true;
    _renewedBefore = true;
    _lastRenewal = _clock();
    const unsigned long renewal = ++_renewalId;
    _queue->push(
        [this, renewal](bool&, unsigned long) {
            if (_renewing && _renewalId == renewal) {
                _logger->warning("Monitoring token renewal did not answer in time");
                renewalResult(IJsonTokenRequester::Failed, "", "");
            }
        },
        kRenewalTimeout, ITaskQueue::Normal);
    std::weak_ptr<bool> alive = _alive;
    _tokenRequester->requestToken([this, alive, renewal](IJsonTokenRequester::RequestResult result,
                                                         const std::string& url,
                                                         const std::string& token) {
        if (!alive.lock() || renewal != _renewalId || !_renewing) {
            return;  // a renewal that was given up already
        }
        renewalResult(result, url, token);
    });
}

void EventBlockSender::renewalResult(IJsonTokenRequester::RequestResult result,
                                     const std::string& url, const std::string& token) {
    _renewing = false;
    if (result == IJsonTokenRequester::Success && !url.empty() && !token.empty()) {
        _queue->push(
            [this, url, token](bool&, unsigned long) {
                _monitoringUrl = url;
                _monitoringToken = token;
                _params.setValue("MonitoringUrl", url);
                _params.setValue("MonitoringToken", token);
                resendPendingRequests();
            },
            std::chrono::milliseconds(0), ITaskQueue::Normal);
        return;
    }
    _logger->warning("Failed to obtain new Varnex token");
    switch (result) {
        case IJsonTokenRequester::NoToken:
            reportError("No token available to authenticate for Monitoring token renewal!");
            _errorSignal();
            break;
        case IJsonTokenRequester::Rejected:
            reportError("Backend rejected monitoring token renewal request!");
            _errorSignal();
            break;
        default:
            // The kept blocks are tried again later; a refused token asks for the next renewal.
            if (pendingRequestCount() > 0) {
                ++_consecutiveFailures;
                scheduleRetry();
            }
            break;
    }
}

void EventBlockSender::resendPendingRequests() {
    std::deque<PendingRequest> pending;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        pending.swap(_pendingRequests);
    }
    for (auto& request : pending) {
        if (request.type != MetricRecords && request.type != LogEvents) {
            continue;
        }
        _queue->push(
            [this, request = std::move(request)](bool&, unsigned long) {
                if (request.type == MetricRecords) {
                    resend<metrics::Record>(request);
                } else {
                    resend<JsonLogEvent>(request);
                }
            },
            std::chrono::milliseconds(0), ITaskQueue::Normal);
    }
}

template <class T>
void EventBlockSender::resend(const PendingRequest& request) {
    SendEventRequest<T> block;
    std::string json;
    if (!persistence::json_deserialize(request.json, block)) {
        _logger->warning("Couldn't deserialize request!");
        return;
    }
    block.MonitoringToken = _monitoringToken;
    if (persistence::json_serialize(block, json)) {
        sendRequest(json, request.type, request.method, request.attempts);
    }
}

}  // namespace common
