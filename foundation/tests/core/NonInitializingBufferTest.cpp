#include <gtest/gtest.h>

#include <string>

#include "foundation/core/NonInitializingBuffer.h"

namespace {

using Bytes = core::NonInitializingBuffer<unsigned char>;

std::string Text(const Bytes& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

Bytes Buffer(const std::string& text) {
    return Bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

// Appending a buffer's own bytes must survive the reallocation that the append causes.
TEST(NonInitializingBufferTest, AppendOfOwnDataThatGrowsTheStorage) {
    Bytes buffer = Buffer("abc");
    ASSERT_EQ(buffer.capacity(), 3u);
    buffer.append(buffer.data(), buffer.size());
    EXPECT_EQ(Text(buffer), "abcabc");
    EXPECT_EQ(buffer.capacity(), 6u);

    buffer.consume(2);
    buffer.append(buffer.data() + 1, 3);
    EXPECT_EQ(Text(buffer), "cabcabc");
}

TEST(NonInitializingBufferTest, GrowthKeepsConsumedPrefixUntilReallocation) {
    Bytes buffer = Buffer("0123456789");
    buffer.consume(4);
    EXPECT_EQ(Text(buffer), "456789");
    buffer.append(Buffer("ab"));  // a new allocation of twice the data length
    EXPECT_EQ(Text(buffer), "456789ab");
    EXPECT_EQ(buffer.capacity(), 12u);
    buffer.consume(100);
    EXPECT_TRUE(buffer.empty());
    buffer.resize(12);
    EXPECT_EQ(buffer.capacity(), 12u);  // the fully consumed storage is reused from its start
}

TEST(NonInitializingBufferTest, MoveLeavesTheSourceEmpty) {
    Bytes source = Buffer("payload");
    const unsigned char* storage = source.data();
    Bytes target = std::move(source);
    EXPECT_EQ(target.data(), storage);
    EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move)
    source.append(Buffer("x"));
    EXPECT_EQ(Text(source), "x");
    EXPECT_NE(source, target);
    EXPECT_EQ(target, Buffer("payload"));
}

}  // namespace
