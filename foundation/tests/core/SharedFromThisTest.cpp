#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "foundation/core/SharedFromThis.h"
#include "foundation/core/StringBuilder.h"

namespace {

class Connection : public core::SharedFromThis {
public:
    // The way an asynchronous operation keeps its object alive until its completion runs.
    std::function<int()> StartOperation() {
        auto self = SharedFromThisAs<Connection>();
        return [self] { return self->m_Value; };
    }
    std::weak_ptr<Connection> Weak() { return WeakFromThisAs<Connection>(); }

private:
    int m_Value = 42;
};

TEST(SharedFromThisTest, OperationKeepsTheObjectAlive) {
    auto connection = std::make_shared<Connection>();
    std::weak_ptr<Connection> weak = connection->Weak();
    auto completion = connection->StartOperation();
    connection.reset();
    EXPECT_FALSE(weak.expired());
    EXPECT_EQ(completion(), 42);
    completion = nullptr;
    EXPECT_TRUE(weak.expired());
}

TEST(SharedFromThisTest, ObjectNotOwnedBySharedPointerFails) {
    Connection connection;
    EXPECT_THROW(connection.StartOperation(), std::bad_weak_ptr);
    EXPECT_TRUE(connection.Weak().expired());
}

TEST(StringBuilderTest, BuildsTextFromMixedValues) {
    const std::string text = core::StringBuilder()
                             << "Thread " << 7 << " has the name '" << std::string("io") << "'";
    EXPECT_EQ(text, "Thread 7 has the name 'io'");
    EXPECT_EQ(core::StringBuilder().str(), "");
}

}  // namespace
