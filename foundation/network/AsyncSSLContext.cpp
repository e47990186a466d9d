#include "foundation/network/AsyncSSLContext.h"

#include "foundation/network/CertificateStoreManager.h"

namespace network {

AsyncSSLContext::AsyncSSLContext()
    : logging::LogSource("AsyncSSLContext"), m_Context(boost::asio::ssl::context::sslv23) {
    m_Context.set_options(boost::asio::ssl::context::no_sslv2 |
                          boost::asio::ssl::context::no_sslv3);
    // Only the system's designated anchors are trusted: the TLS library's own default
    // locations are not loaded.
    m_Context.set_verify_mode(boost::asio::ssl::verify_peer);

    if (auto manager = CertificateStoreManager::Create()) {
        manager->ImportCertificates(m_Context);
        manager->SetVerificationParameters(m_Context);
    }
}

}  // namespace network
