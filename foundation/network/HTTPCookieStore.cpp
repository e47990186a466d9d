#include "foundation/network/HTTPCookieStore.h"

#include <vector>

#include "foundation/network/HTTPHeaderList.h"

namespace network {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && isSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::string> splitAtSemicolons(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semicolon = text.find(';', start);
        if (semicolon == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, semicolon - start));
        start = semicolon + 1;
    }
}

}  // namespace

HTTPCookieStore::HTTPCookieStore() : logging::LogSource("HTTPCookieStore") {}

void HTTPCookieStore::SetClock(std::function<datetime::CDateTime()> clock) {
    _clock = std::move(clock);
}

datetime::CDateTime HTTPCookieStore::Now() const {
    return _clock ? _clock() : datetime::CDateTime::Now();
}

int HTTPCookieStore::Set(const std::string& setCookieText) {
    return Store(setCookieText, nullptr);
}

int HTTPCookieStore::Set(const std::string& setCookieText, const std::string& originHost) {
    return Store(setCookieText, &originHost);
}

int HTTPCookieStore::Delete(const std::string& name) {
    return Set(name + "=deleted; path=/; secure; HttpOnly; expires=Thu, 01 Jan 1970 00:00:00 GMT");
}

int HTTPCookieStore::Store(const std::string& setCookieText, const std::string* originHost) {
    if (setCookieText.find_first_of("\r\n") != std::string::npos) {
        Log(logging::Warning) << "Cookie with a line break ignored.";
        return NothingStored;
    }
    const std::vector<std::string> pieces = splitAtSemicolons(setCookieText);
    HTTPCookie cookie;
    const std::string pair = trim(pieces.front());
    const std::size_t equals = pair.find('=');
    if (equals == std::string::npos) {
        cookie.cookieName = pair;
        cookie.cookieValue = pair;
    } else {
        cookie.cookieName = pair.substr(0, equals);
        cookie.cookieValue = pair.substr(equals + 1);
    }
    if (cookie.cookieName.empty()) {
        Log(logging::Warning) << "Cookie without a name ignored.";
        return NothingStored;
    }
    bool domainGiven = false;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const std::string attribute = trim(pieces[i]);
        const std::size_t eq = attribute.find('=');
        if (eq == std::string::npos) {
            if (EqualsNoCase(attribute, "HttpOnly")) {
                cookie.httpOnly = true;
            } else if (EqualsNoCase(attribute, "Secure")) {
                cookie.secure = true;
            }
            continue;
        }
        const std::string name = trim(attribute.substr(0, eq));
        const std::string value = trim(attribute.substr(eq + 1));
        if (EqualsNoCase(name, "Domain")) {
            // A leading dot is left over from older cookie rules and means the same domain.
            cookie.domain = (!value.empty() && value.front() == '.') ? value.substr(1) : value;
            domainGiven = !cookie.domain.empty();
        } else if (EqualsNoCase(name, "Path")) {
            cookie.cookiePath = value;
        } else if (EqualsNoCase(name, "Expires")) {
            cookie.expires = datetime::CDateTime::FromRFC1123(value);
        }
    }
    if (originHost != nullptr) {
        if (!domainGiven) {
            cookie.hostOnly = true;
            cookie.domain = *originHost;
        } else if (!HTTPCookie::DomainMatches(*originHost, cookie.domain)) {
            Log(logging::Warning) << "Cookie '" << cookie.cookieName << "' for domain '"
                                  << cookie.domain << "' refused from host '" << *originHost
                                  << "'.";
            return NothingStored;
        }
    }

    const bool live = cookie.expires.IsNotADateTime() || Now() < cookie.expires;
    const auto found = _byName.find(cookie.cookieName);
    if (!live) {
        if (found == _byName.end()) {
            return NothingStored;
        }
        _cookies.erase(found->second);
        _byName.erase(found);
        return Removed;
    }
    if (found != _byName.end()) {
        *found->second = std::move(cookie);
        return Replaced;
    }
    if (_cookies.size() >= kMaxCookies) {
        Log(logging::Warning) << "Cookie '" << cookie.cookieName
                              << "' refused: the cookie store is full.";
        return NothingStored;
    }
    _cookies.push_back(std::move(cookie));
    auto last = std::prev(_cookies.end());
    _byName.emplace(last->cookieName, last);
    return Added;
}

std::string HTTPCookieStore::Get(const std::string& scheme, const std::string& host,
                                 const std::string& path) const {
    const datetime::CDateTime now = Now();
    std::string header;
    for (const HTTPCookie& cookie : _cookies) {
        if (!cookie.Matches(scheme, host, path, now)) {
            continue;
        }
        if (!header.empty()) {
            header += "; ";
        }
        header += cookie.cookieName;
        header += '=';
        header += cookie.cookieValue;
    }
    return header;
}

}  // namespace network

namespace network {

std::string HTTPCookieStore::Get(const URL& url) const {
    return Get(url.scheme, url.host, url.path);
}

}  // namespace network
