#pragma once

#include <string>

#include "foundation/datetime/CDateTime.h"
#include "foundation/network/URL.h"

namespace network {

// One cookie of the cookie store.
class HTTPCookie {
public:
    std::string cookieName;
    std::string cookieValue;
    // Without hostOnly: the Domain attribute (leading dot removed); empty = any host. With
    // hostOnly: the host that set the cookie.
    std::string domain;
    // Path attribute; empty = any path.
    std::string cookiePath;
    // Not-a-date-time = no expiry.
    datetime::CDateTime expires;
    bool secure = false;
    bool httpOnly = false;
    // Set by a response without a Domain attribute: sent back only to that very host.
    bool hostOnly = false;

    // True when the cookie goes with a request to `url` now.
    bool Matches(const URL& url) const;
    // True when the cookie goes with a request of that scheme, host and path at `now`.
    bool Matches(const std::string& scheme, const std::string& host, const std::string& path,
                 const datetime::CDateTime& now) const;

    // Host `host` lies in `domain`: equal, or ends with "." + domain (ASCII case ignored).
    static bool DomainMatches(const std::string& host, const std::string& domain);
    // Request path `path` lies under `cookiePath`: equal, or a prefix that ends with "/" or is
    // followed by "/" in `path`. An empty request path counts as "/".
    static bool PathMatches(const std::string& path, const std::string& cookiePath);
};

}  // namespace network
