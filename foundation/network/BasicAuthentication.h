#pragma once

#include <string>

#include "foundation/network/INetworkAuthentication.h"

namespace network {

// Basic: Base64 of "user:password". The same credentials are never sent twice in a row.
class BasicAuthentication : public INetworkAuthentication {
public:
    explicit BasicAuthentication(CredentialsSource credentials);

    static std::string GetMethodName() { return "Basic"; }
    static std::string GetMethodNameLowercase() { return "basic"; }

    std::string GetMethod() const override { return GetMethodName(); }
    std::string GetToken() override;
    void SetToken(const std::string&) override {}
    bool CanContinue() override;
    bool TryReauthenticate() override { return false; }

private:
    CredentialsSource _credentials;
    std::string _lastUser;
    std::string _lastPassword;
};

}  // namespace network
