#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/network/INetworkAuthentication.h"

namespace network {

// Digest with MD5. The quality of protection "auth" is used when the challenge offers it
// (otherwise "auth-int" over the empty body, or the original form without qop when the
// challenge names none). Quoted values are escaped; the client nonce comes from the operating
// system's random source unless one is given.
class DigestAuthentication : public INetworkAuthentication {
public:
    // Request method "CONNECT", a fresh client nonce for every token.
    DigestAuthentication(CredentialsSource credentials, std::string uri);
    DigestAuthentication(CredentialsSource credentials, std::string requestMethod, std::string uri,
                         std::string clientNonce);

    static std::string GetMethodName() { return "Digest"; }
    static std::string GetMethodNameLowercase() { return "digest"; }

    std::string GetMethod() const override { return GetMethodName(); }
    std::string GetToken() override;
    void SetToken(const std::string& challenge) override;
    bool CanContinue() override;
    bool TryReauthenticate() override { return false; }

    const std::string& GetRealm() const { return _realm; }
    const std::string& GetNonce() const { return _nonce; }
    const std::string& GetOpaque() const { return _opaque; }
    const std::vector<std::string>& GetQopOptions() const { return _qopOptions; }

private:
    CredentialsSource _credentials;
    std::string _realm;
    std::string _requestMethod;
    std::string _digestURI;
    std::vector<std::string> _qopOptions;
    std::string _nonce;
    uint32_t _nonceCount = 1;
    std::string _opaque;
    bool _opaqueGiven = false;
    std::string _clientNonce;
};

}  // namespace network
