#include "foundation/network/CertificateStoreManagerMac.h"

#include <openssl/ssl.h>

#include "platform/trustanchors/TrustAnchorKeychains.h"

namespace network {

void CertificateStoreManagerMac::ImportCertificates(boost::asio::ssl::context& context) {
    X509_STORE* store = SSL_CTX_get_cert_store(context.native_handle());
    if (store == nullptr) {
        return;
    }
    ImportCertificates(store, standin::TrustAnchorKeychains::keychains());
}

void CertificateStoreManagerMac::ImportCertificates(
    X509_STORE* store, const std::vector<boost::filesystem::path>& keychains) {
    for (const auto& der : standin::TrustAnchorKeychains::certificates(keychains)) {
        if (!der.empty()) {
            AddCertificate(reinterpret_cast<const unsigned char*>(der.data()),
                           static_cast<int>(der.size()), store);
        }
    }
}

}  // namespace network
