#include "foundation/network/INetworkAuthentication.h"

#include "foundation/network/BasicAuthentication.h"
#include "foundation/network/DigestAuthentication.h"
#include "foundation/network/HTTPHeaderList.h"

namespace network {

namespace {

// Scheme names in order of preference.
const char* const kReferenceMethods[] = {"digest", "basic"};

}  // namespace

std::unique_ptr<INetworkAuthentication> INetworkAuthentication::Create(
    const std::string& name, CredentialsSource credentials, const std::string& uri) {
    if (EqualsNoCase(name, BasicAuthentication::GetMethodNameLowercase())) {
        return std::make_unique<BasicAuthentication>(std::move(credentials));
    }
    if (EqualsNoCase(name, DigestAuthentication::GetMethodNameLowercase())) {
        return std::make_unique<DigestAuthentication>(std::move(credentials), uri);
    }
    return nullptr;
}

int INetworkAuthentication::ChooseMostSecure(const std::vector<std::string>& offered) {
    for (const char* reference : kReferenceMethods) {
        for (std::size_t i = 0; i < offered.size(); ++i) {
            if (EqualsNoCase(offered[i], reference)) {
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

int INetworkAuthentication::AuthMethodFromName(const std::string& name) {
    if (name == "Basic") {
        return 1;
    }
    if (name == "Digest") {
        return 2;
    }
    return 0;
}

}  // namespace network

#include "foundation/network/INetworkConnectivity.h"

namespace network {

std::unique_ptr<INetworkAuthentication> INetworkAuthentication::Create(
    const std::string& name, const std::shared_ptr<INetworkConnectivity>& connectivity,
    const std::string& uri) {
    std::weak_ptr<INetworkConnectivity> weak = connectivity;
    CredentialsSource source = [weak](std::string& user, std::string& password) {
        if (auto strong = weak.lock()) {
            strong->GetProxyCredentials(user, password);
        }
    };
    return Create(name, std::move(source), uri);
}

}  // namespace network
