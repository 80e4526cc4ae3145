#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ProgressMailbox.h"

namespace {
const ProgressMailbox::Values kLayout{{0, 0}, {5, 100}};
}

TEST(ProgressMailbox, OneNoticeUntilTheWindowTakesTheValues) {
    ProgressMailbox box(kLayout);
    EXPECT_TRUE(box.Put(1, 10, 100));
    EXPECT_FALSE(box.Put(1, 20, 100));  // the notice is on its way: it will read 20
    EXPECT_FALSE(box.Put(0, 1, 5));
    const ProgressMailbox::Values seen = box.Take();
    EXPECT_EQ(seen.position[0], 1);
    EXPECT_EQ(seen.maximum[0], 5);
    EXPECT_EQ(seen.position[1], 20);
    EXPECT_EQ(seen.maximum[1], 100);
    EXPECT_TRUE(box.Put(1, 30, 200));  // taken: the next change asks again
    EXPECT_EQ(box.Take().maximum[1], 200);
}

TEST(ProgressMailbox, ValuesBeforeAnyChangeAreTheLayoutsAndUnknownBarsChangeNothing) {
    ProgressMailbox box(kLayout);
    EXPECT_FALSE(box.Put(2, 7, 7));
    EXPECT_FALSE(box.Put(-1, 7, 7));
    const ProgressMailbox::Values seen = box.Take();
    EXPECT_EQ(seen.position[0], 0);
    EXPECT_EQ(seen.maximum[0], 5);
    EXPECT_EQ(seen.position[1], 0);
    EXPECT_EQ(seen.maximum[1], 100);
}

// A worker putting as fast as it can and a window taking on each notice: the window never misses
// the last change.
TEST(ProgressMailbox, TheLastChangeAlwaysReachesTheWindowAcrossThreads) {
    ProgressMailbox box(kLayout);
    constexpr int kChanges = 200000;
    std::atomic<int> notices{0};
    std::atomic<bool> done{false};
    int lastSeen = -1;
    std::thread window([&] {
        int taken = 0;
        for (;;) {
            const bool finished = done.load();
            if (notices.load() > taken) {
                ++taken;
                lastSeen = box.Take().position[1];
            } else if (finished) {
                break;
            } else {
                std::this_thread::yield();
            }
        }
    });
    for (int i = 1; i <= kChanges; ++i) {
        if (box.Put(1, i, kChanges)) notices.fetch_add(1);
    }
    done.store(true);
    window.join();
    EXPECT_EQ(lastSeen, kChanges);
}
