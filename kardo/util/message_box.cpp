// The exported way to replace the library's message-box handler. The library
// carries its own copy of the platform layer, so a handler an application
// installs in its own copy would never see the library's boxes.
#include <kardo/message_box.h>

#include "platform/message_box.h"

void kardo_set_message_box_handler(KARDO_MESSAGEBOXPROC handler, void* context) {
    if (!handler) {
        platform::SetMessageBoxHandler(nullptr);
        return;
    }
    platform::SetMessageBoxHandler([handler, context](const std::string& text, const std::string& caption,
                                                      unsigned flags) {
        return handler(context, text.c_str(), caption.c_str(), flags);
    });
}
