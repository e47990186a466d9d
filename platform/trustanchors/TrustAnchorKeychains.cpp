#include "platform/trustanchors/TrustAnchorKeychains.h"

#include <fstream>
#include <memory>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <boost/filesystem/operations.hpp>

#include "platform/systemroot/SystemRoot.h"

namespace standin {
namespace {

const char* const kFolder = "/Library/Keychains";

bool IsRegularFile(const boost::filesystem::path& file) {
    boost::system::error_code error;
    return boost::filesystem::is_regular_file(file, error);
}

}  // namespace

boost::filesystem::path TrustAnchorKeychains::systemRootKeychain() {
    return SystemRoot::resolve(std::string(kFolder) + "/SystemRootCertificates.pem");
}

boost::filesystem::path TrustAnchorKeychains::systemCAKeychain() {
    return SystemRoot::resolve(std::string(kFolder) + "/SystemCACertificates.pem");
}

boost::filesystem::path TrustAnchorKeychains::searchListFile() {
    return SystemRoot::resolve(std::string(kFolder) + "/search-list");
}

std::vector<boost::filesystem::path> TrustAnchorKeychains::keychains() {
    std::vector<boost::filesystem::path> list;
    for (const auto& file : {systemRootKeychain(), systemCAKeychain()}) {
        if (IsRegularFile(file)) {
            list.push_back(file);
        }
    }
    std::ifstream searchList(searchListFile().string());
    for (std::string line; std::getline(searchList, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        list.push_back(line[0] == '/' ? SystemRoot::resolve(line)
                                      : SystemRoot::resolve(kFolder) / line);
    }
    return list;
}

std::vector<std::string> TrustAnchorKeychains::certificates(
    const std::vector<boost::filesystem::path>& keychains) {
    std::vector<std::string> result;
    for (const auto& keychain : keychains) {
        if (!IsRegularFile(keychain)) {
            continue;
        }
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_file(keychain.c_str(), "rb"),
                                                      &BIO_free);
        if (!bio) {
            continue;
        }
        for (;;) {
            std::unique_ptr<X509, decltype(&X509_free)> certificate(
                PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), &X509_free);
            if (!certificate) {
                break;
            }
            unsigned char* der = nullptr;
            const int length = i2d_X509(certificate.get(), &der);
            if (length > 0 && der != nullptr) {
                result.emplace_back(reinterpret_cast<const char*>(der),
                                    static_cast<std::size_t>(length));
            }
            OPENSSL_free(der);
        }
        ERR_clear_error();  // the end of the file is reported as an error
    }
    return result;
}

}  // namespace standin
