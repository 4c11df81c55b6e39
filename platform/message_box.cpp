#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {
std::mutex g_handlerMutex;
MessageBoxHandler g_handler;
}  // namespace

int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return DefaultAnswer(flags);
}

int DefaultAnswer(unsigned flags) {
    switch (flags & MB_TYPEMASK) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDNO;
        case MB_OKCANCEL:
        case MB_RETRYCANCEL:
            return IDCANCEL;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        default:
            return IDOK;
    }
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        handler = g_handler;
    }
    // The handler runs unlocked: a GUI box may wait for the user for a long time.
    return handler ? handler(text, caption, flags) : DefaultMessageBox(text, caption, flags);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    std::swap(g_handler, handler);
    return handler;
}

}  // namespace platform
