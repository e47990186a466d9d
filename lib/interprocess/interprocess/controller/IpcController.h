#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "interprocess/asynchronousdatalink/IAsynchronousDataLink.h"
#include "interprocess/connection/Connection.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/transport/ITransport.h"

namespace interprocess {

class IpcController : public IIpcController, public ITransportDelegate {
public:
    // `clock` is handed to every connection (the steady clock when empty).
    IpcController(const std::string& participant, const std::string& prefix,
                  common::ITaskScheduler& scheduler, std::unique_ptr<common::ILogger> logger,
                  Connection::Clock clock = Connection::Clock());
    ~IpcController() override;

    IpcController(const IpcController&) = delete;
    IpcController& operator=(const IpcController&) = delete;

    bool start() override;
    bool send(const helper::ApplicationType& application, const std::string& json) override;
    void connectToService(std::function<void(bool)> completion) override;
    bool synchronousSend(const helper::ApplicationType& application,
                         const std::string& json) override;
    bool stop() override;

    void onTransportDisconnected(const ITransport& transport) override;
    void onTransportConnecting(const ITransport& transport) const override;
    void onTransportConnected(const ITransport& transport) override;
    void onTransportDisconnecting(const ITransport& transport) const override;
    void onTransportListening(const ITransport& transport) const override;
    unsigned long onTransportConnectRequest(const ITransport& transport,
                                            const std::string& participant) override;
    void onTransportDataReceived(const ITransport& transport, const std::string& payload) override;
    void onTransportSynchronousDataReceived(const ITransport& transport,
                                            const std::string& payload) override;

private:
    // The first peer address, in map order, that begins with the kind's name; empty for none.
    std::string findAddressForApplication(const helper::ApplicationType& application) const;
    std::unique_ptr<ITransport> makeTransport(std::unique_ptr<IConnection> connection,
                                              const std::string& queueName);
    void keep(const std::string& address, std::unique_ptr<ITransport> transport);

    std::string _prefix;
    std::string _participant;
    common::ITaskScheduler& _scheduler;
    std::unique_ptr<common::ITaskQueue> _queue;
    std::unique_ptr<common::ILogger> _logger;
    std::unique_ptr<ITransport> _listener;
    std::shared_ptr<IAsynchronousDataLink> _link;
    std::map<std::string, std::unique_ptr<ITransport>> _transports;
    unsigned long _nextChannel = 1;
    std::map<helper::ApplicationType, std::deque<std::string>> _pending;
    // Which transport is kept under an address, so that the late report of a replaced one
    // cannot remove its successor.
    std::map<std::string, unsigned long long> _generations;
    unsigned long long _nextGeneration = 1;
    Connection::Clock _clock;
};

}  // namespace interprocess
