// The HTTP CONNECT negotiation of AsyncTCPSocket: the tunnel request is an HTTP exchange over
// this very socket; a 407 is answered with Basic or Digest credentials of the connectivity
// object, at most kMaxRefusedAttempts times in one negotiation.
#include <memory>
#include <string>
#include <vector>

#include "foundation/network/AsyncHTTPConnection.h"
#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/HTTPHeaderList.h"
#include "foundation/network/INetworkAuthentication.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/SocketSignals.h"

namespace network {
namespace {

// Credentials the proxy refused this many times end the negotiation.
constexpr int kMaxRefusedAttempts = 3;

struct ProxyNegotiation {
    std::string host;
    uint16_t port = 0;
    bool secure = false;
    std::string proxyHost;
    uint16_t proxyPort = 0;
    ITCPSocket::ConnectCallback callback;
    std::unique_ptr<INetworkAuthentication> scheme;
    int refused = 0;
    bool sentCredentials = false;
    std::function<void()> attempt;

    void Finish(ITCPSocket::ErrorCode code) {
        attempt = nullptr;  // ends the self reference of the attempt loop
        scheme.reset();
        auto done = std::move(callback);
        done(code);
    }
};

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

void AsyncTCPSocket::AsyncProxyAuthenticate(const std::string& host, uint16_t port, bool secure,
                                            const std::string& proxyHost, uint16_t proxyPort,
                                            ConnectCallback callback) {
    auto negotiation = std::make_shared<ProxyNegotiation>();
    negotiation->host = host;
    negotiation->port = port;
    negotiation->secure = secure;
    negotiation->proxyHost = proxyHost;
    negotiation->proxyPort = proxyPort;
    negotiation->callback = std::move(callback);
    const std::string target = host + ":" + std::to_string(port);
    std::weak_ptr<AsyncTCPSocket> weakSelf = shared_from_this();

    negotiation->attempt = [weakSelf, negotiation, target]() {
        auto self = weakSelf.lock();
        if (!self) {
            negotiation->Finish(ProxyNegotiationFailure);
            return;
        }
        self->Log(logging::Debug) << "Sending HTTP CONNECT to proxy <" << negotiation->proxyHost
                                  << ":" << negotiation->proxyPort << ">";
        auto connection = std::make_shared<AsyncHTTPConnection>(self, false);
        connection->SetKeepAlive(true);
        connection->SetExchangeTimeout(self->m_Timeout);
        auto request = std::make_shared<AsyncHTTPRequest>();
        negotiation->sentCredentials = false;
        if (negotiation->scheme) {
            const std::string token = negotiation->scheme->GetToken();
            if (!token.empty()) {
                request->AddHeader("Proxy-Authorization",
                                   negotiation->scheme->GetMethod() + " " + token);
                negotiation->sentCredentials = true;
            }
        }
        request->SetMethod("CONNECT");
        connection->SubmitRequest(
            "http://" + target, request,
            [weakSelf, negotiation, connection, target](HTTPStatusCode status,
                                                        std::unique_ptr<IHTTPResponse> response) {
                auto self = weakSelf.lock();
                if (!self) {
                    negotiation->Finish(ProxyNegotiationFailure);
                    return;
                }
                const int code = static_cast<int>(status);
                self->Log(logging::Debug) << "Proxy responds to HTTP CONNECT with status " << code;
                if (code == 403) {
                    if (negotiation->scheme && negotiation->scheme->TryReauthenticate()) {
                        negotiation->attempt();
                        return;
                    }
                    negotiation->Finish(ProxyNegotiationFailure);
                    return;
                }
                if (code == 200 && response) {
                    negotiation->scheme.reset();
                    if (negotiation->secure) {
                        auto finish = [negotiation](ErrorCode result) {
                            negotiation->Finish(result);
                        };
                        self->Handshake(negotiation->host, finish);
                    } else {
                        negotiation->Finish(Success);
                    }
                    return;
                }
                if (code != 407 || !response) {
                    negotiation->Finish(ProxyNegotiationFailure);
                    return;
                }

                const std::vector<std::string> challenges =
                    response->GetHeaders("Proxy-Authenticate");
                if (challenges.empty()) {
                    self->Log(logging::Error) << "Proxy offers no authentication methods.";
                    negotiation->Finish(ProxyNegotiationFailure);
                    return;
                }
                if (negotiation->sentCredentials && ++negotiation->refused >= kMaxRefusedAttempts) {
                    self->Log(logging::Error) << "Proxy refused the credentials "
                                              << negotiation->refused << " times; giving up.";
                    negotiation->Finish(ProxyAuthenticationRequired);
                    return;
                }
                std::vector<std::string> tokens;
                for (const std::string& challenge : challenges) {
                    tokens.push_back(
                        lowerAscii(challenge.substr(0, challenge.find_first_of(" \t"))));
                }
                int index = -1;
                if (negotiation->scheme) {
                    const std::string current = lowerAscii(negotiation->scheme->GetMethod());
                    for (std::size_t i = 0; i < tokens.size(); ++i) {
                        if (tokens[i] == current) {
                            index = static_cast<int>(i);
                            break;
                        }
                    }
                    if (index >= 0) {
                        self->Log(logging::Debug)
                            << "Using existing service for authentication scheme '" << current
                            << "'";
                    } else {
                        self->Log(logging::Debug) << "Abandoning previous authentication scheme "
                                                  << negotiation->scheme->GetMethod();
                        negotiation->scheme.reset();
                    }
                }
                if (index < 0) {
                    index = INetworkAuthentication::ChooseMostSecure(tokens);
                }
                if (index < 0 || static_cast<std::size_t>(index) >= tokens.size()) {
                    std::string offered;
                    for (const std::string& token : tokens) {
                        offered += (offered.empty() ? "" : ", ") + token;
                    }
                    self->Log(logging::Error)
                        << "Proxy offers authentication methods " << offered
                        << " but none are supported by the socket implementation.";
                    negotiation->Finish(ProxyNegotiationFailure);
                    return;
                }
                const std::string& chosen = challenges[static_cast<std::size_t>(index)];
                const std::size_t split = chosen.find_first_of(" \t");
                const std::string name = chosen.substr(0, split);
                const std::string parameters =
                    split == std::string::npos ? std::string() : chosen.substr(split + 1);
                if (!negotiation->scheme) {
                    self->Log(logging::Debug)
                        << "Instantiating new service for authentication scheme " << name;
                    negotiation->scheme =
                        INetworkAuthentication::Create(name, self->m_Connectivity, target);
                }
                if (!negotiation->scheme) {
                    negotiation->Finish(ProxyNegotiationFailure);
                    return;
                }
                if (self->m_Connectivity) {
                    self->m_Connectivity->GetSocketSignals().proxyAuthenticationMethodChosen(
                        static_cast<SocketSignals::ProxyAuthenticationMethod>(
                            INetworkAuthentication::AuthMethodFromName(
                                negotiation->scheme->GetMethod())));
                }
                negotiation->scheme->SetToken(parameters);
                if (!negotiation->scheme->CanContinue()) {
                    negotiation->Finish(ProxyAuthenticationRequired);
                    return;
                }
                if (self->m_Connected) {
                    negotiation->attempt();
                    return;
                }
                // The proxy closed the connection with its answer: connect to it again.
                self->ResetStream();
                self->DirectConnect(negotiation->proxyHost, negotiation->proxyPort,
                                    [negotiation](ErrorCode connected) {
                                        if (connected != Success) {
                                            negotiation->Finish(connected);
                                            return;
                                        }
                                        negotiation->attempt();
                                    });
            });
    };
    negotiation->attempt();
}

}  // namespace network
