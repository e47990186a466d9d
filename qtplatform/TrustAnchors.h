#pragma once

#include <string>

// The certificate authorities that the Qt path trusts: the system anchor files below the
// system root, so that the Qt path and the foundation network library trust the same ones.
class TrustAnchors {
public:
    // When <root>/Library/Keychains/SystemRootCertificates.pem, SystemCACertificates.pem or a
    // file listed in <root>/Library/Keychains/search-list exists, their certificates become
    // the CA list of the default QSslConfiguration; otherwise Qt's own default stays. Answers
    // how many certificates were installed.
    static int installSystemAnchors();
    // Adds the certificates of a PEM file to the CA list of the default QSslConfiguration
    // (how tests trust their own authority; Qt does not read SSL_CERT_FILE). Answers how many
    // were added.
    static int addCertificates(const std::string& pemFile);
};
