#pragma once

#include <string>

namespace interprocess {

class ITransport;

// The receiver of a transport's state changes and payloads (the IPC controller).
class ITransportDelegate {
public:
    virtual ~ITransportDelegate() = default;

    virtual void onTransportDisconnected(const ITransport& transport) = 0;
    virtual void onTransportConnecting(const ITransport& transport) const = 0;
    virtual void onTransportConnected(const ITransport& transport) = 0;
    virtual void onTransportDisconnecting(const ITransport& transport) const = 0;
    virtual void onTransportListening(const ITransport& transport) const = 0;
    // The channel to grant the requesting participant; 0 rejects.
    virtual unsigned long onTransportConnectRequest(const ITransport& transport,
                                                    const std::string& participant) = 0;
    virtual void onTransportDataReceived(const ITransport& transport,
                                         const std::string& payload) = 0;
    virtual void onTransportSynchronousDataReceived(const ITransport& transport,
                                                    const std::string& payload) = 0;
};

}  // namespace interprocess
