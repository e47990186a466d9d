#pragma once

#include <string>

#include <boost/asio/ssl/host_name_verification.hpp>

#include "foundation/network/ICertificateVerifier.h"
#include "foundation/network/VerboseVerification.h"

namespace network {

// The verifier of one handshake: the chain must pre-verify against the trust store, and the
// server's certificate must name the host (its DNS names, its address entries for an address
// literal, its common name only when it lists no DNS names), with every certificate logged.
class CertificateVerifier : public ICertificateVerifier {
public:
    explicit CertificateVerifier(const std::string& host);
    bool operator()(bool preverified, boost::asio::ssl::verify_context& context) const override;

private:
    verbose_verification<boost::asio::ssl::host_name_verification> m_Verification;
};

}  // namespace network
