#include "common/delegate/Delegate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using common::Delegate;

namespace {

class IOwner {
public:
    virtual ~IOwner() = default;
    virtual void done() = 0;
};

struct Owner : IOwner {
    void done() override { ++calls; }
    int calls = 0;
};

class Component : public Delegate<IOwner> {
public:
    void finish() {
        if (hasDelegate()) {
            getDelegate()->done();
        }
    }
};

}  // namespace

TEST(Delegate, IsEmptyUntilSetAndAfterBeingCleared) {
    Component component;
    EXPECT_FALSE(component.hasDelegate());
    EXPECT_EQ(component.getDelegate(), nullptr);
    component.finish();

    Owner owner;
    component.setDelegate(&owner);
    EXPECT_TRUE(component.hasDelegate());
    const Component& constComponent = component;
    EXPECT_EQ(constComponent.getDelegate(), &owner);
    component.finish();
    EXPECT_EQ(owner.calls, 1);

    component.setDelegate(nullptr);
    EXPECT_FALSE(component.hasDelegate());
    component.finish();
    EXPECT_EQ(owner.calls, 1);
}

TEST(Delegate, ReadersOnOtherThreadsSeeWholePointers) {
    Component component;
    Owner first;
    Owner second;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!stop) {
            IOwner* seen = component.getDelegate();
            if (seen != nullptr && seen != &first && seen != &second) {
                ++torn;
            }
        }
    });
    for (int i = 0; i < 100000; ++i) {
        component.setDelegate(i % 3 == 0 ? nullptr : (i % 3 == 1 ? &first : &second));
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
}
