#pragma once
// Per-thread message queues and window handles, in place of the window
// messages of the original system.
//
// A window handle names a receiver: a callback and the thread that registered
// it. PostMessage() queues a message in that thread's queue; the thread takes
// messages out with PeekMessage() and hands window messages to their
// callbacks with DispatchMessage(), so callbacks always run on their own
// thread. PostThreadMessage() queues a message without a window.
#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

using WindowHandle = std::uintptr_t;  // 0: no window
using ThreadId = std::uint32_t;       // 0: no thread

struct Message {
    WindowHandle window = 0;
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

using WindowProc = std::function<void(const Message&)>;

// A queue holds at most this many messages; further posts fail.
constexpr std::size_t kMaxQueuedMessages = 10000;

// The calling thread's id; creates its queue. Ids are never reused.
ThreadId CurrentThreadId();

// Registers a receiver owned by the calling thread. Handles are never reused,
// so a stale handle cannot reach a later window. 0 when proc is empty.
WindowHandle RegisterWindow(WindowProc proc);
// Forgets a receiver (from any thread). False if it was unknown.
bool UnregisterWindow(WindowHandle window);

// False when the window or thread is unknown, its thread has ended, or its
// queue is full.
bool PostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
bool PostThreadMessage(ThreadId thread, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// Removes the oldest message of the calling thread's queue into `out`.
// False when the queue is empty.
bool PeekMessage(Message& out);
// Calls the window's callback (nothing for thread messages or windows that
// are gone).
void DispatchMessage(const Message& message);

// An eventfd that is readable while the calling thread's queue is not empty.
// Owned by the queue and closed when the thread ends; -1 on failure.
int MessageQueueFd();

}  // namespace platform
