#pragma once

#include <string>

#include "foundation/network/URL.h"

namespace network {

// The fixed grammar of ParseURL:
//   url      := [scheme] "//" host [":" port] path ["?" param ("&" param)*] ["#" fragment] END
//   scheme   := ("http" | "ftp" | "ws") ["s"] ":"
//   host     := 1*[a-zA-Z0-9.-]
//   port     := 1*DIGIT (1 to 65535)
//   path     := *([%a-zA-Z0-9._~!$&'()*+,;=:@-] | "/")        (kept as written)
//   param    := 1*(qchar | escape) ["=" *(qchar | escape)]     (escapes decoded)
//   qchar    := any byte but "% ?=&#"
//   fragment := *[%a-zA-Z0-9!$&'()*+,;=._~:@/?-]             (kept as written)
//   escape   := "%" HEXDIG HEXDIG
class URLParser {
public:
    URLParser();
    bool Parse(const std::string& text, URL& url) const;

private:
    bool m_PathChars[256];
    bool m_FragmentChars[256];
    bool m_HostChars[256];
};

}  // namespace network
