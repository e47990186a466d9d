#pragma once

#include <vector>

#include <boost/filesystem/path.hpp>

#include "foundation/network/CertificateStoreManager.h"

namespace network {

// Imports every certificate of the system root keychain, the system CA keychain and the
// keychains of the search list as a trust anchor.
class CertificateStoreManagerMac : public CertificateStoreManager {
public:
    void ImportCertificates(boost::asio::ssl::context& context) override;
    void ImportCertificates(X509_STORE* store,
                            const std::vector<boost::filesystem::path>& keychains);
};

}  // namespace network
