#pragma once

#include <memory>
#include <string>

#include <boost/asio/ssl/verify_context.hpp>

namespace network {

// Checks one certificate of a server's chain during the TLS handshake.
class ICertificateVerifier {
public:
    virtual ~ICertificateVerifier() = default;
    virtual bool operator()(bool preverified, boost::asio::ssl::verify_context& context) const = 0;

    // A verifier for the host name (or address) being connected to.
    static std::shared_ptr<ICertificateVerifier> Create(const std::string& host);
};

// Function object for a TLS stream's verification callback that forwards to a shared verifier.
template <typename Verifier>
class polymorphic_verifier {
public:
    explicit polymorphic_verifier(std::shared_ptr<Verifier> verifier)
        : m_Verifier(std::move(verifier)) {}
    bool operator()(bool preverified, boost::asio::ssl::verify_context& context) const {
        return (*m_Verifier)(preverified, context);
    }

private:
    std::shared_ptr<Verifier> m_Verifier;
};

}  // namespace network
