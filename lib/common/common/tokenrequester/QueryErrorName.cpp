#include "common/tokenrequester/QueryErrorName.h"

namespace common {

std::string queryErrorName(IHttpQuery::Error error) {
    const char* name = IHttpQuery::errorName(error);
    return name != nullptr ? name : std::to_string(static_cast<int32_t>(error));
}

}  // namespace common
