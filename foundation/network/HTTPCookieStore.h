#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>

#include "foundation/logging/LogSource.h"
#include "foundation/network/HTTPCookie.h"
#include "foundation/network/URL.h"

namespace network {

// In-memory cookie jar shared by the factory's connections: one cookie per name, kept in the
// order of first arrival (a replaced cookie keeps its place). Cookie values are never logged.
class HTTPCookieStore : private logging::LogSource {
public:
    // Results of Set and Delete.
    enum SetResult : int {
        NothingStored = 0,
        Added = 1,
        Replaced = 2,
        Removed = 3,
    };

    // More cookies than this are not taken; the jar cannot grow without bound.
    static constexpr std::size_t kMaxCookies = 1000;

    HTTPCookieStore();

    // Stores one Set-Cookie value given by hand: without a Domain attribute the cookie goes to
    // every host.
    int Set(const std::string& setCookieText);
    // Stores one Set-Cookie value of a response from `originHost`: without a Domain attribute
    // the cookie goes back only to that host; a Domain that does not contain the host refuses
    // the cookie (NothingStored).
    int Set(const std::string& setCookieText, const std::string& originHost);
    // Removes the cookie of that name: Removed, or NothingStored when there is none.
    int Delete(const std::string& name);

    // The Cookie header value for a request: every matching cookie in store order as
    // name=value, separated by "; "; empty when none matches.
    std::string Get(const std::string& scheme, const std::string& host,
                    const std::string& path) const;
    std::string Get(const URL& url) const;

    std::size_t Size() const { return _cookies.size(); }
    const std::list<HTTPCookie>& Cookies() const { return _cookies; }

    // The clock of expiry decisions (tests); CDateTime::Now by default.
    void SetClock(std::function<datetime::CDateTime()> clock);

private:
    int Store(const std::string& setCookieText, const std::string* originHost);
    datetime::CDateTime Now() const;

    std::list<HTTPCookie> _cookies;
    std::unordered_map<std::string, std::list<HTTPCookie>::iterator> _byName;
    std::function<datetime::CDateTime()> _clock;
};

}  // namespace network
