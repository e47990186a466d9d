#pragma once

#include <memory>

#include <openssl/x509.h>
#include <boost/asio/ssl/context.hpp>

#include "foundation/logging/LogSource.h"

namespace network {

// Fills a TLS context's trust store with the platform's anchors.
class CertificateStoreManager : public logging::LogSource {
public:
    static std::shared_ptr<CertificateStoreManager> Create();

    virtual void ImportCertificates(boost::asio::ssl::context& context) = 0;

    // Adds one DER certificate that is valid now to the store; logs what it did.
    void AddCertificate(const unsigned char* der, int length, X509_STORE* store);
    // Prefers trusted certificates over those the peer sends when building chains.
    void SetVerificationParameters(boost::asio::ssl::context& context);

protected:
    CertificateStoreManager();
};

}  // namespace network
