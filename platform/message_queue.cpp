#include "platform/message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

struct Queue {
    std::mutex mutex;
    std::deque<Message> messages;
    int eventFd = -1;  // counter > 0 while messages are queued

    Queue() : eventFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Queue() {
        if (eventFd >= 0) ::close(eventFd);
    }
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    bool Push(const Message& message) {
        std::lock_guard<std::mutex> lock(mutex);
        if (messages.size() >= kMaxQueuedMessages) return false;
        messages.push_back(message);
        if (eventFd >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = ::write(eventFd, &one, sizeof one);
        }
        return true;
    }

    bool Pop(Message& out) {
        std::lock_guard<std::mutex> lock(mutex);
        if (messages.empty()) return false;
        out = messages.front();
        messages.pop_front();
        if (messages.empty() && eventFd >= 0) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(eventFd, &count, sizeof count);
        }
        return true;
    }
};

struct Window {
    ThreadId thread;
    std::shared_ptr<const WindowProc> proc;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<ThreadId, std::shared_ptr<Queue>> queues;
    std::unordered_map<WindowHandle, Window> windows;
    ThreadId nextThread = 1;
    WindowHandle nextWindow = 1;
};

// Never destroyed: threads may still post while the process exits.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

// The calling thread's queue; unregistered, with its windows, when the
// thread ends.
struct ThreadQueue {
    ThreadId id = 0;
    std::shared_ptr<Queue> queue;

    ThreadQueue() {
        queue = std::make_shared<Queue>();
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        id = registry.nextThread++;
        registry.queues.emplace(id, queue);
    }
    ~ThreadQueue() {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.queues.erase(id);
        for (auto it = registry.windows.begin(); it != registry.windows.end();) {
            if (it->second.thread == id)
                it = registry.windows.erase(it);
            else
                ++it;
        }
    }
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;
};

ThreadQueue& CurrentQueue() {
    thread_local ThreadQueue current;
    return current;
}

std::shared_ptr<Queue> FindQueue(Registry& registry, ThreadId thread) {
    auto it = registry.queues.find(thread);
    return it == registry.queues.end() ? nullptr : it->second;
}

}  // namespace

ThreadId CurrentThreadId() { return CurrentQueue().id; }

WindowHandle RegisterWindow(WindowProc proc) {
    if (!proc) return 0;
    ThreadId thread = CurrentThreadId();
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    WindowHandle handle = registry.nextWindow++;
    registry.windows.emplace(handle, Window{thread, std::make_shared<const WindowProc>(std::move(proc))});
    return handle;
}

bool UnregisterWindow(WindowHandle window) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return registry.windows.erase(window) > 0;
}

bool PostMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::shared_ptr<Queue> queue;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto it = registry.windows.find(window);
        if (it == registry.windows.end()) return false;
        queue = FindQueue(registry, it->second.thread);
    }
    return queue && queue->Push(Message{window, message, wParam, lParam});
}

bool PostThreadMessage(ThreadId thread, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::shared_ptr<Queue> queue;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        queue = FindQueue(registry, thread);
    }
    return queue && queue->Push(Message{0, message, wParam, lParam});
}

bool PeekMessage(Message& out) { return CurrentQueue().queue->Pop(out); }

void DispatchMessage(const Message& message) {
    if (message.window == 0) return;
    std::shared_ptr<const WindowProc> proc;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        auto it = registry.windows.find(message.window);
        if (it == registry.windows.end()) return;
        proc = it->second.proc;
    }
    // Unlocked: the callback may post, register or unregister windows.
    (*proc)(message);
}

int MessageQueueFd() { return CurrentQueue().queue->eventFd; }

}  // namespace platform
