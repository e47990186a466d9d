#include "foundation/conversion/LexicalCast.h"

#include <cstring>

#include <openssl/err.h>

namespace conversion {

bool in_place_lexical_cast(std::string& to, const boost::system::error_code& from) {
    std::string text = from.message();
    if (std::strcmp(from.category().name(), "asio.ssl") == 0) {
        const unsigned long code =
            static_cast<unsigned long>(static_cast<unsigned int>(from.value()));
        char buffer[256] = {0};
        ERR_error_string_n(code, buffer, sizeof(buffer));
        text += ": ";
        text += buffer;
        text += " [" + std::to_string(ERR_GET_LIB(code)) + ", 0, " +
                std::to_string(ERR_GET_REASON(code)) + "]";
    } else {
        text += " [" + std::to_string(from.value()) + "]";
    }
    to = std::move(text);
    return true;
}

}  // namespace conversion
