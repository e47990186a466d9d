#include <gtest/gtest.h>

#include "foundation/network/HTTPHeaderList.h"
#include "foundation/network/HTTPStatusCode.h"
#include "foundation/network/IHTTPConnection.h"
#include "foundation/network/INetworkFactory.h"

namespace network {
namespace {

TEST(HTTPHeaderListTest, LooksUpNamesWithoutRegardToCaseAndKeepsOrderAndDuplicates) {
    HTTPHeaderList headers;
    headers.Add("Content-Length", "5");
    headers.Add("Set-Cookie", "a=1");
    headers.Add("set-cookie", "b=2");
    headers.Add("X-Empty", "");

    EXPECT_EQ(headers.GetHeader("content-length"), "5");
    EXPECT_EQ(headers.GetHeader("SET-COOKIE"), "a=1");
    EXPECT_EQ(headers.GetHeaders("Set-Cookie"), (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(headers.GetHeader("Missing"), "");
    EXPECT_EQ(headers.GetHeader("x-empty"), "");
    EXPECT_TRUE(headers.Has("x-empty"));
    EXPECT_FALSE(headers.Has("Content-Lengt"));
    ASSERT_EQ(headers.size(), 4u);
    EXPECT_EQ(headers.begin()[2].first, "set-cookie");
}

TEST(HTTPStatusCodeTest, TransportCodesAreBelowOneHundred) {
    EXPECT_TRUE(IsTransportCode(InvalidResponse));
    EXPECT_TRUE(IsTransportCode(TransferFailed));
    EXPECT_FALSE(IsTransportCode(static_cast<HTTPStatusCode>(100)));
    EXPECT_EQ(static_cast<int>(NotIssued), 1);
    EXPECT_EQ(static_cast<int>(ConnectFailed), 3);
}

}  // namespace
}  // namespace network
