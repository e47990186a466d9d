#pragma once

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace standin {

// The system's trust anchors: PEM files under <system root>/Library/Keychains standing for the
// system root keychain ("SystemRootCertificates.pem"), the system CA keychain
// ("SystemCACertificates.pem") and the keychains of the search list ("search-list": one file
// per line, written as a system location such as "/Library/Keychains/extra.pem" and taken below
// the system root; a relative line is taken inside the Keychains folder; empty lines and lines
// starting with "#" are ignored).
class TrustAnchorKeychains {
public:
    static boost::filesystem::path systemRootKeychain();
    static boost::filesystem::path systemCAKeychain();
    static boost::filesystem::path searchListFile();

    // The keychains to read, in order: the system root and CA files when they exist, then every
    // file of the search list (when the list can be read).
    static std::vector<boost::filesystem::path> keychains();

    // The certificates of the keychains, each as DER bytes, in file order. Files that cannot
    // be read and blocks that are not certificates are left out.
    static std::vector<std::string> certificates(
        const std::vector<boost::filesystem::path>& keychains);
};

}  // namespace standin
