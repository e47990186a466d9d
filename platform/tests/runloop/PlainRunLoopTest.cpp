#include "platform/runloop/PlainRunLoop.h"

#include <gtest/gtest.h>

#include <thread>

using standin::PlainRunLoop;
using namespace std::chrono_literals;

TEST(PlainRunLoop, TicksUntilAHandlerQuits) {
    PlainRunLoop loop;
    int ticks = 0;
    loop.run(1ms, [&] {
        if (++ticks == 3) {
            loop.quit();
        }
    });
    EXPECT_EQ(ticks, 3);
}

TEST(PlainRunLoop, QuitBeforeRunEndsTheNextRunAtOnceAndIsUsedUp) {
    PlainRunLoop loop;
    loop.quit();
    loop.quit();  // several early requests still end one run only
    int ticks = 0;
    // A tick of one hour: returning at all proves the remembered request ended the loop.
    loop.run(std::chrono::hours(1), [&] { ++ticks; });
    EXPECT_EQ(ticks, 0);

    // The request was consumed: the following run ticks until its own quit.
    loop.run(1ms, [&] {
        if (++ticks == 2) {
            loop.quit();
        }
    });
    EXPECT_EQ(ticks, 2);
}

TEST(PlainRunLoop, QuitFromAnotherThreadWakesAWaitingLoop) {
    PlainRunLoop loop;
    int ticks = 0;
    // Whether the quit lands before or during the wait, the loop must end without waiting
    // for its one-hour tick.
    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        loop.quit();
    });
    loop.run(std::chrono::hours(1), [&] { ++ticks; });
    other.join();
    EXPECT_EQ(ticks, 0);
}

TEST(PlainRunLoop, AnEmptyHandlerIsSkipped) {
    PlainRunLoop loop;
    std::thread other([&] {
        std::this_thread::sleep_for(20ms);
        loop.quit();
    });
    loop.run(1ms, {});
    other.join();
}
