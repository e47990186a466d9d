#include "foundation/network/CertificateVerifier.h"

namespace network {

std::shared_ptr<ICertificateVerifier> ICertificateVerifier::Create(const std::string& host) {
    return std::make_shared<CertificateVerifier>(host);
}

CertificateVerifier::CertificateVerifier(const std::string& host)
    : m_Verification(make_verbose_verification(boost::asio::ssl::host_name_verification(host))) {}

bool CertificateVerifier::operator()(bool preverified,
                                     boost::asio::ssl::verify_context& context) const {
    return m_Verification(preverified, context);
}

}  // namespace network
