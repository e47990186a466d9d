#pragma once

#include <atomic>
#include <boost/signals2/signal.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/eventsender/IEventBlockSender.h"
#include "common/eventsender/IEventBlockSenderErrorHandler.h"
#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/tokenrequester/IJsonTokenRequester.h"
#include "foundation/persistence/MemberVariable.h"
#include "qtplatform/IQtPlatform.h"

namespace network {
class INetworkFactory;
}

namespace common {

// Uploads event blocks (log events or metric records) to "<MonitoringUrl>/api/sendEvents",
// over the Qt HTTP query or, when "UseLegacyNetworking" is set, the foundation HTTP client.
// When the service refuses the token, or no monitoring URL is known, it asks the token
// requester for a new URL and token and sends the kept blocks again once it has them.
//
// Blocks that could not be sent are kept, at most kMaxPendingRequests of them (the oldest are
// dropped and counted). A block whose send failed for another reason is retried with a
// growing delay, and dropped after kMaxSendAttempts failed sends. Renewals start at least
// kMinRenewalInterval apart; one that has not reported after kRenewalTimeout counts as failed.
class EventBlockSender : public IEventBlockSender {
public:
    enum EventType : int32_t {
        MetricRecords = 0,
        LogEvents = 1,
    };

    template <class T>
    struct JsonRecords {
        std::string installationId;
        std::string component;
        std::string computerId;
        std::string sessionId;
        std::string deviceId;
        std::vector<T> events;
        std::string platform = "mac";

        template <class Archive>
        void Persist(Archive& archive) {
            archive& persistence::make_member_variable("installationId", installationId) &
                persistence::make_member_variable("component", component) &
                persistence::make_member_variable("computerId", computerId) &
                persistence::make_member_variable("sessionId", sessionId) &
                persistence::make_member_variable("deviceId", deviceId) &
                persistence::make_member_variable("events", events) &
                persistence::make_member_variable("platform", platform);
        }
    };

    template <class T>
    struct SendEventRequest {
        std::string MonitoringToken;
        JsonRecords<T> Records;

        template <class Archive>
        void Persist(Archive& archive) {
            archive& persistence::make_member_variable("MonitoringToken", MonitoringToken) &
                persistence::make_member_variable("Records", Records);
        }
    };

    struct PendingRequest {
        EventType type;
        SendingMethod method;
        std::string json;
        // Failed sends of this block so far.
        int attempts = 0;
    };

    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    static constexpr int kBlockingWaitMs = 5000;
    static constexpr std::size_t kMaxPendingRequests = 200;
    static constexpr int kMaxSendAttempts = 5;
    static constexpr std::chrono::milliseconds kFirstRetryDelay{5000};
    static constexpr std::chrono::milliseconds kMaxRetryDelay{300000};
    static constexpr std::chrono::milliseconds kMinRenewalInterval{30000};
    static constexpr std::chrono::milliseconds kRenewalTimeout{120000};

    EventBlockSender(std::string component,
                     std::shared_ptr<network::INetworkFactory> networkFactory,
                     std::unique_ptr<ITaskQueue> queue, IParams& params,
                     std::unique_ptr<ILogger> logger,
                     std::unique_ptr<IJsonTokenRequester> tokenRequester,
                     const IQtPlatform& qtPlatform, Clock clock = Clock());
    // Finishes the queue (pending renewal and re-send tasks are dropped) and drops the queries
    // in flight and the kept blocks.
    ~EventBlockSender() override;

    EventBlockSender(const EventBlockSender&) = delete;
    EventBlockSender& operator=(const EventBlockSender&) = delete;

    void sendEvents(std::vector<JsonLogEvent>&& events, SendingMethod method) override;
    void sendEvents(std::vector<metrics::Record>&& records, SendingMethod method) override;
    boost::signals2::connection connectErrorSignal(std::function<void()>&& function) override;

    // Not owned; null removes it.
    void setErrorHandler(const IEventBlockSenderErrorHandler* handler);

    std::size_t pendingRequestCount() const;
    // Blocks dropped since the sender was made (too many kept, or too many failed sends).
    uint64_t droppedRequests() const;
    std::size_t runningQueryCount() const { return _runningQueries.size(); }
    bool isRenewing() const { return _renewing; }

private:
    template <class T>
    void send(std::vector<T>&& items, EventType type, SendingMethod method);
    template <class T>
    void resend(const PendingRequest& request);

    void sendRequest(const std::string& json, EventType type, SendingMethod method, int attempts);
    void sendOverQt(const std::string& target, const PendingRequest& request);
    void sendOverLegacy(const std::string& target, const PendingRequest& request);
    // Keeps a block whose send failed; `tokenRefused` when the service refused the token.
    void sendFailed(PendingRequest request, bool tokenRefused);
    void sendSucceeded();
    void keepPending(PendingRequest request);
    void reportError(const std::string& error) const;

    void requestUrlAndToken();
    void startRenewal();
    void renewalResult(IJsonTokenRequester::RequestResult result, const std::string& url,
                       const std::string& token);
    void resendPendingRequests();
    void scheduleRetry();

    std::weak_ptr<network::INetworkFactory> _networkFactory;
    std::unique_ptr<ITaskQueue> _queue;
    IParams& _params;
    std::unique_ptr<IJsonTokenRequester> _tokenRequester;
    std::string _monitoringToken;
    std::string _monitoringUrl;
    std::unique_ptr<ILogger> _logger;
    std::string _component;
    const IQtPlatform& _qtPlatform;
    std::map<int, IQtPlatform::HttpQueryPtr> _runningQueries;
    std::string _hostId;
    std::string _installationId;
    std::string _sessionId;
    std::string _deviceId;
    std::atomic<bool> _renewing{false};
    mutable std::mutex _mutex;
    std::deque<PendingRequest> _pendingRequests;
    uint64_t _dropped = 0;
    boost::signals2::signal<void()> _errorSignal;
    std::atomic<const IEventBlockSenderErrorHandler*> _errorHandler{nullptr};

    Clock _clock;
    bool _renewalScheduled = false;
    bool _renewedBefore = false;
    std::chrono::steady_clock::time_point _lastRenewal{};
    unsigned long _renewalId = 0;
    bool _retryScheduled = false;
    int _consecutiveFailures = 0;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace common
