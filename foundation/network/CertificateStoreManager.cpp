#include "foundation/network/CertificateStoreManager.h"

#include <ctime>
#include <memory>

#include <openssl/err.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <boost/date_time/posix_time/posix_time.hpp>

#include "foundation/datetime/CDateTime.h"
#include "foundation/network/CertificateStoreManagerMac.h"

namespace network {
namespace {

std::string OneLineSubject(X509* certificate) {
    char buffer[256] = {0};
    X509_NAME_oneline(X509_get_subject_name(certificate), buffer, sizeof(buffer) - 1);
    return buffer;
}

time_t SecondsNow() {
    const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
    return static_cast<time_t>((datetime::CDateTime::Now().ToPTime() - epoch).total_seconds());
}

// True when `store` already holds the same certificate.
bool StoreHolds(X509_STORE* store, X509* certificate) {
    bool found = false;
    if (X509_STORE_lock(store) != 1) {
        return false;
    }
    STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store);
    for (int i = 0; i < sk_X509_OBJECT_num(objects) && !found; ++i) {
        X509* held = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i));
        found = held != nullptr && X509_cmp(held, certificate) == 0;
    }
    X509_STORE_unlock(store);
    return found;
}

}  // namespace

CertificateStoreManager::CertificateStoreManager() : logging::LogSource("CertificateStore") {}

std::shared_ptr<CertificateStoreManager> CertificateStoreManager::Create() {
    return std::make_shared<CertificateStoreManagerMac>();
}

void CertificateStoreManager::AddCertificate(const unsigned char* der, int length,
                                             X509_STORE* store) {
    const unsigned char* cursor = der;
    std::unique_ptr<X509, decltype(&X509_free)> certificate(d2i_X509(nullptr, &cursor, length),
                                                            &X509_free);
    if (!certificate) {
        Log(logging::Warning) << "OpenSSL error " << ERR_get_error() << " when parsing certificate";
        ERR_clear_error();
        return;
    }
    const std::string subject = OneLineSubject(certificate.get());
    time_t now = SecondsNow();

    if (X509_cmp_time(X509_get0_notBefore(certificate.get()), &now) != -1) {
        Log(logging::Trace) << "Certificate not yet valid: " << subject;
        return;
    }
    if (X509_cmp_time(X509_get0_notAfter(certificate.get()), &now) != 1) {
        Log(logging::Trace) << "Certificate already expired: " << subject;
        return;
    }
    // The library accepts a certificate it already holds without complaint; a second copy is
    // still reported as the failure it is.
    if (StoreHolds(store, certificate.get())) {
        Log(logging::Warning) << "OpenSSL error "
                              << ERR_PACK(ERR_LIB_X509, 0, X509_R_CERT_ALREADY_IN_HASH_TABLE)
                              << " when importing certificate: " << subject;
        return;
    }
    if (X509_STORE_add_cert(store, certificate.get()) == 1) {
        Log(logging::Trace) << "Certificate imported: " << subject;
    } else {
        Log(logging::Warning) << "OpenSSL error " << ERR_get_error()
                              << " when importing certificate: " << subject;
        ERR_clear_error();
    }
}

void CertificateStoreManager::SetVerificationParameters(boost::asio::ssl::context& context) {
    X509_VERIFY_PARAM* parameters = X509_VERIFY_PARAM_new();
    if (parameters == nullptr) {
        return;
    }
    if (X509_VERIFY_PARAM_set_flags(parameters, X509_V_FLAG_TRUSTED_FIRST) != 1) {
        Log(logging::Warning) << "Failed to set X509 flag 'trusted certificate first'.";
    } else if (SSL_CTX_set1_param(context.native_handle(), parameters) != 1) {
        Log(logging::Warning) << "Failed to set parameter X509 'trusted certificate first'.";
    }
    X509_VERIFY_PARAM_free(parameters);
}

}  // namespace network
