#include "foundation/network/BasicAuthentication.h"

#include "foundation/conversion/Base64.h"

namespace network {

BasicAuthentication::BasicAuthentication(CredentialsSource credentials)
    : _credentials(std::move(credentials)) {}

std::string BasicAuthentication::GetToken() {
    std::string user;
    std::string password;
    if (_credentials) {
        _credentials(user, password);
    }
    if (user.empty() || password.empty()) {
        return std::string();
    }
    return conversion::Base64Encode(user + ":" + password);
}

bool BasicAuthentication::CanContinue() {
    std::string user;
    std::string password;
    if (_credentials) {
        _credentials(user, password);
    }
    if (user == _lastUser && password == _lastPassword) {
        return false;
    }
    _lastUser = user;
    _lastPassword = password;
    return !user.empty() && !password.empty();
}

}  // namespace network
