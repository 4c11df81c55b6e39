// The exported face of the library's per-thread message queues.
#include <kardo/card_messages.h>
#include <kardo/window_messages.h>

#include "platform/message_queue.h"

namespace {
HWND ToHwnd(platform::WindowHandle window) { return reinterpret_cast<HWND>(window); }
platform::WindowHandle FromHwnd(HWND hwnd) { return reinterpret_cast<platform::WindowHandle>(hwnd); }
}  // namespace

HWND kardo_register_window(KARDO_WNDPROC proc, void* context) {
    if (!proc) return nullptr;
    return ToHwnd(platform::RegisterWindow([proc, context](const platform::Message& m) {
        proc(context, ToHwnd(m.window), m.message, m.wParam, m.lParam);
    }));
}

int kardo_unregister_window(HWND hwnd) { return platform::UnregisterWindow(FromHwnd(hwnd)) ? 1 : 0; }

uint32_t kardo_current_thread_id(void) { return platform::CurrentThreadId(); }

int kardo_post_message(HWND hwnd, unsigned int message, WPARAM wParam, LPARAM lParam) {
    return platform::PostMessage(FromHwnd(hwnd), message, wParam, lParam) ? 1 : 0;
}

int kardo_post_thread_message(uint32_t thread, unsigned int message, WPARAM wParam, LPARAM lParam) {
    return platform::PostThreadMessage(thread, message, wParam, lParam) ? 1 : 0;
}

int kardo_post_card_abort(uint32_t thread) { return kardo_post_thread_message(thread, WM_CARDABORT, 0, 0); }

int kardo_dispatch_messages(void) {
    int count = 0;
    platform::Message message;
    while (platform::PeekMessage(message)) {
        ++count;
        platform::DispatchMessage(message);
    }
    return count;
}

int kardo_message_queue_fd(void) { return platform::MessageQueueFd(); }
