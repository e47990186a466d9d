#include "foundation/network/VerboseVerification.h"

#include <string>

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace network {

verbose_verification_base::verbose_verification_base()
    : logging::LogSource("CertificateVerifier") {}

bool verbose_verification_base::operator()(bool preverified,
                                           boost::asio::ssl::verify_context& context) const {
    X509_STORE_CTX* store = context.native_handle();
    std::string subject = "unknown certificate";
    if (X509* certificate = X509_STORE_CTX_get_current_cert(store)) {
        char buffer[256] = {0};
        X509_NAME_oneline(X509_get_subject_name(certificate), buffer, sizeof(buffer) - 1);
        subject = buffer;
    }
    if (!preverified) {
        const int error = X509_STORE_CTX_get_error(store);
        Log(logging::Warning) << "Pre-verify error with " << subject << ", code " << error << ": "
                              << X509_verify_cert_error_string(error);
    }
    const bool result = verify(preverified, context);
    if (result) {
        Log(logging::Debug) << "Verifying " << subject << " succeeds";
    } else {
        Log(logging::Warning) << "Verifying " << subject << " fails";
    }
    return result;
}

}  // namespace network
