#include "testsupport/TestCertificates.h"

#include <fstream>
#include <stdexcept>

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <boost/filesystem/operations.hpp>

namespace testsupport {
namespace {

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(length));
}

void AddExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr) {
        throw std::runtime_error("bad extension " + value);
    }
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

}  // namespace

std::string TestIdentity::CertificatePEM() const {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_X509(bio.get(), certificate.get());
    return BioText(bio.get());
}

std::string TestIdentity::KeyPEM() const {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    return BioText(bio.get());
}

std::string TestIdentity::CertificateDER() const {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate.get(), &der);
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

TestIdentity MakeIdentity(const CertificateSpec& spec, const TestIdentity* issuer) {
    static long serial = 1000;
    TestIdentity identity;
    identity.key.reset(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    identity.certificate.reset(X509_new(), &X509_free);
    X509* certificate = identity.certificate.get();

    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate), spec.notBeforeOffset);
    X509_gmtime_adj(X509_getm_notAfter(certificate), spec.notAfterOffset);
    X509_set_pubkey(certificate, identity.key.get());

    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(spec.commonName.c_str()), -1,
                               -1, 0);
    X509* issuerCertificate = issuer != nullptr ? issuer->certificate.get() : certificate;
    X509_set_issuer_name(certificate, X509_get_subject_name(issuerCertificate));

    if (spec.certificateAuthority) {
        AddExtension(certificate, issuerCertificate, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(certificate, issuerCertificate, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(certificate, issuerCertificate, NID_basic_constraints, "CA:FALSE");
    }
    AddExtension(certificate, issuerCertificate, NID_subject_key_identifier, "hash");
    std::string names;
    for (const auto& dns : spec.dnsNames) {
        names += (names.empty() ? "" : ",") + std::string("DNS:") + dns;
    }
    for (const auto& ip : spec.ipAddresses) {
        names += (names.empty() ? "" : ",") + std::string("IP:") + ip;
    }
    if (!names.empty()) {
        AddExtension(certificate, issuerCertificate, NID_subject_alt_name, names);
    }
    EVP_PKEY* signer = issuer != nullptr ? issuer->key.get() : identity.key.get();
    if (X509_sign(certificate, signer, EVP_sha256()) <= 0) {
        throw std::runtime_error("cannot sign test certificate");
    }
    return identity;
}

void WriteFile(const boost::filesystem::path& file, const std::string& text) {
    boost::filesystem::create_directories(file.parent_path());
    std::ofstream out(file.string(), std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace testsupport
