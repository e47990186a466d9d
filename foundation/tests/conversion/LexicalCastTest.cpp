#include <gtest/gtest.h>

#include <string>

#include <openssl/err.h>
#include <openssl/sslerr.h>
#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>

#include "foundation/conversion/LexicalCast.h"

TEST(LexicalCastTest, ErrorCodeOfAnOrdinaryCategory) {
    std::string text;
    const boost::system::error_code refused = boost::asio::error::connection_refused;
    EXPECT_TRUE(conversion::in_place_lexical_cast(text, refused));
    EXPECT_EQ(text, refused.message() + " [" + std::to_string(refused.value()) + "]");
}

TEST(LexicalCastTest, ErrorCodeOfTheTlsLibrary) {
    const unsigned long code = ERR_PACK(ERR_LIB_SSL, 0, SSL_R_CERTIFICATE_VERIFY_FAILED);
    const boost::system::error_code error(static_cast<int>(code),
                                          boost::asio::error::get_ssl_category());
    std::string text;
    EXPECT_TRUE(conversion::in_place_lexical_cast(text, error));
    char library[256] = {0};
    ERR_error_string_n(code, library, sizeof(library));
    EXPECT_EQ(text, error.message() + ": " + library + " [" + std::to_string(ERR_LIB_SSL) +
                        ", 0, " + std::to_string(SSL_R_CERTIFICATE_VERIFY_FAILED) + "]");
}
