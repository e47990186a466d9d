#pragma once

#include <string>

#include "qtplatform/IHttpQuery.h"

namespace common {

// The enumerator's name of an HTTP query error ("ContentAccessDenied", ...); the number in
// decimal for a value without one.
std::string queryErrorName(IHttpQuery::Error error);

}  // namespace common
