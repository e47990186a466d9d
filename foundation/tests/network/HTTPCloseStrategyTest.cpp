#include <gtest/gtest.h>

#include "foundation/network/HTTPCloseStrategy.h"

namespace network {
namespace {

TEST(HTTPCloseStrategyTest, VersionAndConnectionTokensDecide) {
    using V = IHTTPConnection::HTTPVersion;
    struct Case {
        bool connect;
        V version;
        int status;
        const char* name;
        const char* value;
        bool close;
    };
    const Case cases[] = {
        {false, V::HTTP_1_1, 200, nullptr, nullptr, false},
        {false, V::HTTP_1_1, 200, "Connection", "Close", true},
        {false, V::HTTP_1_1, 200, "Connection", "keep-alive, close", true},
        {false, V::HTTP_1_1, 200, "Proxy-Connection", "close", true},
        {false, V::HTTP_1_0, 200, nullptr, nullptr, true},
        {false, V::HTTP_1_0, 200, "Connection", "Keep-Alive", false},
        {false, V::Unknown, 200, nullptr, nullptr, false},
        {true, V::HTTP_1_0, 200, nullptr, nullptr, false},
        {true, V::HTTP_1_1, 200, "Connection", "close", false},
        {true, V::HTTP_1_1, 407, "Connection", "close", true},
    };
    for (const Case& c : cases) {
        HTTPHeaderList headers;
        if (c.name != nullptr) {
            headers.Add(c.name, c.value);
        }
        EXPECT_EQ(HTTPCloseStrategy()(c.connect, c.version, c.status, headers), c.close)
            << c.connect << " " << static_cast<int>(c.version) << " " << c.status << " "
            << (c.value ? c.value : "");
    }
}

}  // namespace
}  // namespace network
