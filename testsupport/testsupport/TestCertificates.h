#pragma once

#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <boost/filesystem/path.hpp>

namespace testsupport {

// A key pair and certificate made with the TLS library's API for tests.
struct TestIdentity {
    std::shared_ptr<EVP_PKEY> key;
    std::shared_ptr<X509> certificate;

    std::string CertificatePEM() const;
    std::string KeyPEM() const;
    std::string CertificateDER() const;
};

struct CertificateSpec {
    std::string commonName;
    std::vector<std::string> dnsNames;  // subject alternative names
    std::vector<std::string> ipAddresses;
    long notBeforeOffset = -3600;  // seconds from now
    long notAfterOffset = 30 * 86400;
    bool certificateAuthority = false;
};

// Signed by `issuer`, or self-signed when it is null.
TestIdentity MakeIdentity(const CertificateSpec& spec, const TestIdentity* issuer);

// Writes `text` to `file` (parents created).
void WriteFile(const boost::filesystem::path& file, const std::string& text);

}  // namespace testsupport
