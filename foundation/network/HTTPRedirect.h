#pragma once

#include <string>

#include "foundation/network/URL.h"

namespace network {

// The target of a redirect: the Location value resolved against the URL that answered,
// as RFC 3986 resolves references (absolute, scheme-relative, absolute-path and relative
// references, dot segments removed). Bytes that may not stand in a request target are
// percent-encoded; the fragment is dropped. False when the value names no usable target.
bool ResolveRedirectLocation(const URL& base, const std::string& location, URL& target);

// The path with "." and ".." segments removed.
std::string RemoveDotSegments(const std::string& path);

}  // namespace network
