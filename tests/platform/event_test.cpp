#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using platform::AutoResetEvent;

TEST(AutoResetEvent, OneSetReleasesOneWait) {
    AutoResetEvent e;
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    e.Set();  // a second Set before the wait does not count twice
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
}

TEST(AutoResetEvent, ResetDropsAPendingSignal) {
    AutoResetEvent e;
    e.Set();
    e.Reset();
    EXPECT_FALSE(e.Wait(10));
}

TEST(AutoResetEvent, WakesAWaiterOnAnotherThread) {
    AutoResetEvent e;
    std::atomic<bool> woke{false};
    std::thread t([&] { woke = e.Wait(10000); });
    e.Set();
    t.join();
    EXPECT_TRUE(woke);
}

TEST(ManualResetEvent, StaysSignalledUntilReset) {
    platform::ManualResetEvent e;
    EXPECT_FALSE(e.IsSet());
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));  // waiting does not consume it
    EXPECT_TRUE(e.TryConsume());
    EXPECT_TRUE(e.IsSet());
    e.Reset();
    EXPECT_FALSE(e.Wait(10));
}
