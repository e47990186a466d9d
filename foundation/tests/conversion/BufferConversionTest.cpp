#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "foundation/conversion/BufferSequence.h"
#include "foundation/conversion/SmartPointerConversion.h"
#include "foundation/conversion/StreamBufConversion.h"

namespace {

using Bytes = core::NonInitializingBuffer<unsigned char>;

std::string Text(const Bytes& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Bytes Buffer(const std::string& text) {
    return Bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

void Fill(boost::asio::streambuf& streamBuffer, const std::string& text) {
    std::ostream stream(&streamBuffer);
    stream.write(text.data(), static_cast<std::streamsize>(text.size()));
}

TEST(StreamBufConversionTest, CountedTakesConsumeOnlyWhatTheyReturn) {
    boost::asio::streambuf streamBuffer;
    Fill(streamBuffer, std::string("hello\0world", 11));

    EXPECT_TRUE(conversion::StreamBufToByteBuffer(streamBuffer, 0).empty());
    EXPECT_EQ(streamBuffer.size(), 11u);

    EXPECT_EQ(Text(conversion::StreamBufToByteBuffer(streamBuffer, 5)), "hello");
    EXPECT_EQ(streamBuffer.size(), 6u);

    EXPECT_EQ(Text(conversion::StreamBufToByteBuffer(streamBuffer, 100)),
              std::string("\0world", 6));
    EXPECT_EQ(streamBuffer.size(), 0u);
    EXPECT_TRUE(conversion::StreamBufToByteBuffer(streamBuffer, 10).empty());
}

TEST(StreamBufConversionTest, WholeTakesEmptyTheBuffer) {
    boost::asio::streambuf streamBuffer;
    const std::string large(100000, 'x');
    Fill(streamBuffer, large + "tail");
    EXPECT_EQ(conversion::StreamBufToString(streamBuffer), large + "tail");
    EXPECT_EQ(streamBuffer.size(), 0u);
    EXPECT_EQ(conversion::StreamBufToString(streamBuffer), "");

    Fill(streamBuffer, "abcd");
    EXPECT_EQ(Text(conversion::StreamBufToByteBuffer(streamBuffer)), "abcd");
    EXPECT_EQ(streamBuffer.size(), 0u);
    Fill(streamBuffer, "next");
    EXPECT_EQ(conversion::StreamBufToString(streamBuffer), "next");
}

TEST(BufferSequenceTest, JoinsPiecesInOrder) {
    EXPECT_TRUE(conversion::BufferSequenceToContiguousBuffer({}).empty());

    std::vector<Bytes> pieces;
    pieces.push_back(Buffer("GET / HTTP/1.1\r\n"));
    pieces.push_back(Bytes());
    pieces.push_back(Buffer("Host: a\r\n"));
    pieces.push_back(Buffer("\r\n"));
    const Bytes joined = conversion::BufferSequenceToContiguousBuffer(std::move(pieces));
    EXPECT_EQ(Text(joined), "GET / HTTP/1.1\r\nHost: a\r\n\r\n");
    EXPECT_EQ(joined.capacity(), joined.size());
}

TEST(BufferSequenceTest, SinglePieceIsMovedOut) {
    std::vector<Bytes> pieces;
    pieces.push_back(Buffer("only"));
    const unsigned char* storage = pieces.front().data();
    const Bytes joined = conversion::BufferSequenceToContiguousBuffer(std::move(pieces));
    EXPECT_EQ(joined.data(), storage);
    EXPECT_EQ(Text(joined), "only");
}

struct Tracked {
    explicit Tracked(bool* destroyed) : destroyed(destroyed) {}
    ~Tracked() { *destroyed = true; }
    bool* destroyed;
};

TEST(SmartPointerConversionTest, BoostPointerSharesOwnership) {
    bool destroyed = false;
    auto original = std::make_shared<Tracked>(&destroyed);
    boost::shared_ptr<Tracked> converted = conversion::to_boost_ptr(original);
    EXPECT_EQ(converted.get(), original.get());
    original.reset();
    EXPECT_FALSE(destroyed);
    converted.reset();
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(conversion::to_boost_ptr(std::shared_ptr<Tracked>()));
}

TEST(SmartPointerConversionTest, RoundTripUnwrapsTheOriginalPointer) {
    bool destroyed = false;
    auto original = boost::make_shared<Tracked>(&destroyed);
    const std::shared_ptr<Tracked> wrapped = conversion::to_std_ptr(original);
    const boost::shared_ptr<Tracked> back = conversion::to_boost_ptr(wrapped);
    EXPECT_EQ(back.get(), original.get());
    EXPECT_FALSE(back.owner_before(original));
    EXPECT_FALSE(original.owner_before(back));
}

}  // namespace
