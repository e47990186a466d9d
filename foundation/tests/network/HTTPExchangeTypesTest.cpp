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

#include "foundation/compression/GzipCompressStream.h"
#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/DecodedHTTPResponse.h"
#include "foundation/network/PlainHTTPResponse.h"

namespace network {
namespace {

using Buffer = core::NonInitializingBuffer<unsigned char>;

Buffer bytes(const std::string& text) {
    return Buffer(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

std::string text(const Buffer& buffer) {
    return std::string(buffer.begin(), buffer.end());
}

Buffer gzip(const std::string& content) {
    compression::GzipCompressStream stream;
    Buffer out;
    stream.Process(bytes(content), out);
    stream.Finish(out);
    return out;
}

std::unique_ptr<DecodedHTTPResponse> decoded(const std::string& encoding, Buffer body) {
    HTTPHeaderList headers;
    headers.Add("Content-Encoding", encoding);
    return std::make_unique<DecodedHTTPResponse>(
        std::make_unique<PlainHTTPResponse>(std::move(headers), std::move(body)));
}

TEST(HTTPResponseObjectsTest, PlainResponseHandsItsBodyOutOnce) {
    HTTPHeaderList headers;
    headers.Add("Content-Length", "5");
    PlainHTTPResponse response(std::move(headers), bytes("hello"));
    EXPECT_EQ(response.GetHeader("content-length"), "5");
    EXPECT_EQ(text(response.FetchBody()), "hello");
    EXPECT_TRUE(response.FetchBody().empty());
}

TEST(HTTPResponseObjectsTest, GzipBodiesAreDecodedInAnyCaseOthersPassThrough) {
    auto upper = decoded("GZIP", gzip("the content"));
    EXPECT_TRUE(upper->Decode());
    EXPECT_EQ(text(upper->FetchBody()), "the content");
    EXPECT_TRUE(upper->FetchBody().empty());

    auto identity = decoded("identity", bytes("as is"));
    EXPECT_TRUE(identity->Decode());
    EXPECT_EQ(text(identity->FetchBody()), "as is");

    auto deflate = decoded("deflate", bytes("opaque"));
    EXPECT_EQ(text(deflate->FetchBody()), "opaque");
    EXPECT_EQ(deflate->GetHeader("content-encoding"), "deflate");
}

TEST(HTTPResponseObjectsTest, GzipBodyThatDoesNotDecodeIsAFailure) {
    auto corrupt = decoded("gzip", bytes("not gzip at all"));
    EXPECT_FALSE(corrupt->Decode());

    Buffer truncated = gzip(std::string(1000, 'x'));
    truncated.resize(truncated.size() - 4);
    EXPECT_FALSE(decoded("gzip", std::move(truncated))->Decode());
}

TEST(HTTPRequestObjectTest, DefaultsAndBodies) {
    AsyncHTTPRequest request;
    EXPECT_TRUE(boost::logic::indeterminate(request.GetSecure()));
    EXPECT_EQ(request.GetMethod(), "");
    EXPECT_EQ(request.GetRedirectBudget(), 5);
    request.AddHeader("X-A", "1");
    request.AddHeader("X-A", "2");
    EXPECT_EQ(request.GetHeaders().GetHeaders("x-a"), (std::vector<std::string>{"1", "2"}));
    request.SetSecure(false);
    EXPECT_FALSE(static_cast<bool>(request.GetSecure()));

    Buffer body = bytes("moved");
    request.SetBody(std::move(body));
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(text(request.GetBody()), "moved");
    const Buffer copy = bytes("copied");
    request.SetBody(copy);
    EXPECT_EQ(text(request.GetBody()), "copied");
    EXPECT_EQ(text(copy), "copied");
}

}  // namespace
}  // namespace network
