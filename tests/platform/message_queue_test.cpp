#include "platform/message_queue.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}
}  // namespace

TEST(MessageQueue, WindowMessagesReachTheirCallbackInOrderWhenDrained) {
    std::vector<Message> seen;
    WindowHandle w = RegisterWindow([&](const Message& m) { seen.push_back(m); });
    ASSERT_NE(0u, w);
    EXPECT_TRUE(PostMessage(w, 0x54D, 2, 2));
    EXPECT_TRUE(PostMessage(w, 0x54D, 0, 50));
    EXPECT_TRUE(seen.empty());  // nothing runs before the thread drains its queue
    Message m;
    while (PeekMessage(m)) DispatchMessage(m);
    ASSERT_EQ(2u, seen.size());
    EXPECT_EQ(w, seen[0].window);
    EXPECT_EQ(0x54Du, seen[0].message);
    EXPECT_EQ(2u, seen[0].wParam);
    EXPECT_EQ(2, seen[0].lParam);
    EXPECT_EQ(50, seen[1].lParam);
    EXPECT_TRUE(UnregisterWindow(w));
    EXPECT_FALSE(UnregisterWindow(w));
    EXPECT_FALSE(PostMessage(w, 1, 0, 0));
    EXPECT_FALSE(PostMessage(0, 1, 0, 0));
}

TEST(MessageQueue, ThreadMessagesArePostedFromAnotherThread) {
    ThreadId self = CurrentThreadId();
    ASSERT_NE(0u, self);
    std::thread other([self] { EXPECT_TRUE(PostThreadMessage(self, 0x54E, 7, -1)); });
    other.join();
    Message m;
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_EQ(0u, m.window);
    EXPECT_EQ(0x54Eu, m.message);
    EXPECT_EQ(7u, m.wParam);
    EXPECT_EQ(-1, m.lParam);
    EXPECT_FALSE(PeekMessage(m));
}

TEST(MessageQueue, CallbackRunsOnTheOwningThread) {
    std::thread::id ranOn;
    WindowHandle w = RegisterWindow([&](const Message&) { ranOn = std::this_thread::get_id(); });
    std::thread poster([w] { EXPECT_TRUE(PostMessage(w, 5, 0, 0)); });
    poster.join();
    // The poster's own queue stays empty: the message went to the owner.
    Message m;
    ASSERT_TRUE(PeekMessage(m));
    DispatchMessage(m);
    EXPECT_EQ(std::this_thread::get_id(), ranOn);
    UnregisterWindow(w);
}

TEST(MessageQueue, EndedThreadsNoLongerReceive) {
    ThreadId id = 0;
    WindowHandle w = 0;
    std::thread t([&] {
        id = CurrentThreadId();
        w = RegisterWindow([](const Message&) {});
    });
    t.join();
    EXPECT_NE(id, CurrentThreadId());
    EXPECT_FALSE(PostThreadMessage(id, 1, 0, 0));
    EXPECT_FALSE(PostMessage(w, 1, 0, 0));
    EXPECT_FALSE(PostThreadMessage(0, 1, 0, 0));
}

TEST(MessageQueue, FdIsReadableExactlyWhileMessagesWait) {
    int fd = MessageQueueFd();
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(Readable(fd));
    ASSERT_TRUE(PostThreadMessage(CurrentThreadId(), 9, 0, 0));
    ASSERT_TRUE(PostThreadMessage(CurrentThreadId(), 9, 0, 0));
    EXPECT_TRUE(Readable(fd));
    Message m;
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_TRUE(Readable(fd));
    ASSERT_TRUE(PeekMessage(m));
    EXPECT_FALSE(Readable(fd));
}

TEST(MessageQueue, AFullQueueRefusesFurtherPosts) {
    ThreadId self = CurrentThreadId();
    for (std::size_t i = 0; i < kMaxQueuedMessages; ++i) ASSERT_TRUE(PostThreadMessage(self, 1, i, 0));
    EXPECT_FALSE(PostThreadMessage(self, 1, 0, 0));
    Message m;
    std::size_t n = 0;
    while (PeekMessage(m)) ++n;
    EXPECT_EQ(kMaxQueuedMessages, n);
    EXPECT_TRUE(PostThreadMessage(self, 1, 0, 0));
    EXPECT_TRUE(PeekMessage(m));
}
