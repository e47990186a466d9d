#include "foundation/network/DigestAuthentication.h"

#include <cstdio>

#include "foundation/cryptography/Hash.h"
#include "foundation/cryptography/MD5.h"
#include "foundation/cryptography/RandomSequence.h"
#include "foundation/network/DigestKeyValueDictionary.h"
#include "foundation/network/HTTPHeaderList.h"

namespace network {

namespace {

std::string md5(const std::string& text) {
    return cryptography::Hash<cryptography::MD5>::ToHexString(text);
}

// A quoted-string: backslash and double quote escaped; CR and LF dropped so that no value can
// end the header line.
std::string quoted(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        if (c == '\r' || c == '\n') {
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return std::string();
    }
    const std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

}  // namespace

DigestAuthentication::DigestAuthentication(CredentialsSource credentials, std::string uri)
    : DigestAuthentication(std::move(credentials), "CONNECT", std::move(uri), std::string()) {}

DigestAuthentication::DigestAuthentication(CredentialsSource credentials, std::string requestMethod,
                                           std::string uri, std::string clientNonce)
    : _credentials(std::move(credentials)),
      _requestMethod(std::move(requestMethod)),
      _digestURI(std::move(uri)),
      _clientNonce(std::move(clientNonce)) {}

void DigestAuthentication::SetToken(const std::string& challenge) {
    const DigestKeyValueDictionary::Map values = DigestKeyValueDictionary::ParseString(challenge);
    const auto value = [&values](const char* key) {
        const auto found = values.find(key);
        return found != values.end() ? found->second : std::string();
    };
    _realm = value("realm");
    _nonce = value("nonce");
    _opaque = value("opaque");
    _opaqueGiven = values.count("opaque") != 0;
    _qopOptions.clear();
    const auto qop = values.find("qop");
    if (qop != values.end()) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = qop->second.find(',', start);
            _qopOptions.push_back(qop->second.substr(start, comma - start));
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
    }
}

std::string DigestAuthentication::GetToken() {
    std::string user;
    std::string password;
    if (_credentials) {
        _credentials(user, password);
    }
    if (user.empty() || password.empty()) {
        return std::string();
    }
    std::string qop;
    for (const std::string& option : _qopOptions) {
        const std::string name = trimmed(option);
        if (EqualsNoCase(name, "auth")) {
            qop = "auth";
            break;
        }
        if (EqualsNoCase(name, "auth-int")) {
            qop = "auth-int";
        }
    }
    const std::string ha1 = md5(user + ":" + _realm + ":" + password);
    const std::string ha2 = qop == "auth-int"
                                ? md5(_requestMethod + ":" + _digestURI + ":" + md5(std::string()))
                                : md5(_requestMethod + ":" + _digestURI);

    std::string token = "username=" + quoted(user) + ", realm=" + quoted(_realm) +
                        ", nonce=" + quoted(_nonce) + ", uri=" + quoted(_digestURI);
    if (qop.empty()) {
        token += ", response=" + quoted(md5(ha1 + ":" + _nonce + ":" + ha2));
    } else {
        char nc[16];
        std::snprintf(nc, sizeof(nc), "%08x", static_cast<unsigned int>(_nonceCount));
        const std::string cnonce =
            _clientNonce.empty() ? cryptography::RandomHexadecimalSequence(16, 0) : _clientNonce;
        const std::string response =
            md5(ha1 + ":" + _nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
        token += ", qop=" + qop + ", nc=" + nc + ", cnonce=" + quoted(cnonce) +
                 ", response=" + quoted(response);
    }
    if (_opaqueGiven) {
        token += ", opaque=" + quoted(_opaque);
    }
    return token;
}

bool DigestAuthentication::CanContinue() {
    std::string user;
    std::string password;
    if (_credentials) {
        _credentials(user, password);
    }
    return !user.empty() && !password.empty();
}

}  // namespace network
