#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace network {

class INetworkConnectivity;

// One HTTP authentication scheme answering a proxy's challenge. The credentials are read when
// they are needed, so credentials entered later take effect on the next attempt.
class INetworkAuthentication {
public:
    // Fills the proxy user name and password.
    using CredentialsSource = std::function<void(std::string& user, std::string& password)>;

    virtual ~INetworkAuthentication() = default;

    // The scheme name as sent in front of the token ("Basic", "Digest").
    virtual std::string GetMethod() const = 0;
    // The text after the scheme name in Proxy-Authorization; empty without credentials.
    virtual std::string GetToken() = 0;
    // The challenge parameters: the text after the scheme name in Proxy-Authenticate.
    virtual void SetToken(const std::string& challenge) = 0;
    // Whether another attempt makes sense.
    virtual bool CanContinue() = 0;
    // Whether a 403 may be answered with another attempt.
    virtual bool TryReauthenticate() = 0;

    // "basic" or "digest" in any case; any other name gives null. `uri` is the request target
    // (the CONNECT target text).
    static std::unique_ptr<INetworkAuthentication> Create(
        const std::string& name, const std::shared_ptr<INetworkConnectivity>& connectivity,
        const std::string& uri);
    static std::unique_ptr<INetworkAuthentication> Create(const std::string& name,
                                                          CredentialsSource credentials,
                                                          const std::string& uri);
    // Position of the most secure supported scheme among the offered names (Digest before
    // Basic, any case), or -1 when none is supported.
    static int ChooseMostSecure(const std::vector<std::string>& offered);
    // 1 for exactly "Basic", 2 for exactly "Digest", 0 otherwise.
    static int AuthMethodFromName(const std::string& name);
};

}  // namespace network
