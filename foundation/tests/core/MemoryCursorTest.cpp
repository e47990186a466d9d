#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/persistence/MemoryReader.h"
#include "foundation/persistence/MemoryWriter.h"

namespace {

const unsigned char kData[] = {1, 2, 3, 4, 5};

TEST(MemoryWriterTest, ShortWriteCopiesWhatFitsAndAnswersFalse) {
    unsigned char buffer[4] = {0, 0, 0, 0xEE};
    persistence::MemoryWriter writer(buffer, 3);
    EXPECT_TRUE(writer.write(kData, 2));
    EXPECT_FALSE(writer.write(kData + 2, 3));  // one byte of room left
    EXPECT_EQ(writer.remaining(), 0u);
    EXPECT_TRUE(writer.write(kData, 0));
    EXPECT_FALSE(writer.write(kData, 1));
    const unsigned char expected[] = {1, 2, 3, 0xEE};
    EXPECT_EQ(std::memcmp(buffer, expected, 4), 0);
    EXPECT_EQ(writer.written(), 3u);
}

TEST(MemoryWriterTest, EmptyBufferAcceptsOnlyEmptyWrites) {
    persistence::MemoryWriter writer(nullptr, 10);
    EXPECT_TRUE(writer.write(kData, 0));
    EXPECT_FALSE(writer.write(kData, 1));
}

TEST(MemoryReaderTest, ShortReadCopiesWhatIsThereAndAnswersFalse) {
    const struct {
        unsigned long first;
        unsigned long second;
        bool secondComplete;
        unsigned long left;
    } cases[] = {{2, 3, true, 0}, {2, 4, false, 0}, {5, 1, false, 0}, {0, 1, true, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + "+" + std::to_string(c.second));
        persistence::MemoryReader reader(kData, sizeof(kData));
        unsigned char out[8] = {};
        EXPECT_TRUE(reader.read(out, c.first));
        EXPECT_EQ(reader.read(out + c.first, c.second), c.secondComplete);
        EXPECT_EQ(reader.remaining(), c.left);
        const unsigned long copied = sizeof(kData) - c.left;
        EXPECT_EQ(std::memcmp(out, kData, copied), 0);
        EXPECT_EQ(out[copied], 0);
    }
}

}  // namespace
