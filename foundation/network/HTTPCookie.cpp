#include "foundation/network/HTTPCookie.h"

#include "foundation/network/HTTPHeaderList.h"

namespace network {

bool HTTPCookie::DomainMatches(const std::string& host, const std::string& domain) {
    if (domain.empty()) {
        return true;
    }
    if (host.size() < domain.size()) {
        return false;
    }
    const std::string tail = host.substr(host.size() - domain.size());
    if (!EqualsNoCase(tail, domain)) {
        return false;
    }
    return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

bool HTTPCookie::PathMatches(const std::string& path, const std::string& cookiePath) {
    if (cookiePath.empty()) {
        return true;
    }
    const std::string requestPath = path.empty() ? std::string("/") : path;
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) {
        return false;
    }
    return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
           requestPath[cookiePath.size()] == '/';
}

bool HTTPCookie::Matches(const std::string& scheme, const std::string& host,
                         const std::string& path, const datetime::CDateTime& now) const {
    if (hostOnly) {
        if (!EqualsNoCase(host, domain)) {
            return false;
        }
    } else if (!DomainMatches(host, domain)) {
        return false;
    }
    if (!PathMatches(path, cookiePath)) {
        return false;
    }
    if (!expires.IsNotADateTime() && !(now < expires)) {
        return false;
    }
    return !secure || scheme == "https";
}

bool HTTPCookie::Matches(const URL& url) const {
    return Matches(url.scheme, url.host, url.path, datetime::CDateTime::Now());
}

}  // namespace network
