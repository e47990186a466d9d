#include <gtest/gtest.h>

#include <string>

#include "foundation/network/CBYTESubBuffer.h"

using network::CBYTESubBuffer;
using Buffer = CBYTESubBuffer::Buffer;

namespace {
Buffer Bytes(const std::string& text) {
    return Buffer(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}
std::string Text(const CBYTESubBuffer& view) {
    return view.GetBuffer() == nullptr
               ? std::string()
               : std::string(reinterpret_cast<const char*>(view.GetBuffer()),
                             static_cast<std::size_t>(view.GetLength()));
}
}  // namespace

TEST(CBYTESubBufferTest, EmptyViews) {
    CBYTESubBuffer none;
    EXPECT_EQ(none.GetLength(), 0u);
    EXPECT_EQ(none.GetBuffer(), nullptr);

    CBYTESubBuffer fromEmpty{Buffer()};
    EXPECT_EQ(fromEmpty.GetLength(), 0u);

    CBYTESubBuffer fromNull{std::shared_ptr<const Buffer>()};
    EXPECT_EQ(fromNull.GetLength(), 0u);
    EXPECT_EQ(fromNull.GetBuffer(), nullptr);
}

TEST(CBYTESubBufferTest, TakesTheBytesOverWithoutCopying) {
    Buffer source = Bytes("payload");
    const unsigned char* storage = source.data();
    CBYTESubBuffer view(std::move(source));
    EXPECT_TRUE(source.empty());
    EXPECT_EQ(view.GetBuffer(), storage);
    EXPECT_EQ(Text(view), "payload");
}

TEST(CBYTESubBufferTest, MovingLeavesTheSourceEmpty) {
    CBYTESubBuffer view(Bytes("abc"));
    CBYTESubBuffer moved(std::move(view));
    EXPECT_EQ(view.GetBuffer(), nullptr);
    EXPECT_EQ(view.GetLength(), 0u);
    EXPECT_EQ(Text(moved), "abc");

    CBYTESubBuffer assigned;
    assigned = std::move(moved);
    EXPECT_EQ(moved.GetBuffer(), nullptr);
    EXPECT_EQ(moved.GetLength(), 0u);
    EXPECT_EQ(Text(assigned), "abc");
}

TEST(CBYTESubBufferTest, CopiesKeepTheBytesAlive) {
    auto shared = std::make_shared<const Buffer>(Bytes("shared bytes"));
    std::weak_ptr<const Buffer> watch = shared;
    CBYTESubBuffer copy;
    {
        CBYTESubBuffer original(shared);
        shared.reset();
        copy = original;
    }
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(Text(copy), "shared bytes");
}

TEST(CBYTESubBufferTest, PartialViewsStayInsideTheBuffer) {
    auto shared = std::make_shared<const Buffer>(Bytes("0123456789"));
    EXPECT_EQ(Text(CBYTESubBuffer(shared, 2, 3)), "234");
    EXPECT_EQ(Text(CBYTESubBuffer(shared, 8, 100)), "89");
    CBYTESubBuffer beyond(shared, 50, 5);
    EXPECT_EQ(beyond.GetLength(), 0u);
}
