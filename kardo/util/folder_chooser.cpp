// The process-wide folder chooser that CFolderDialog shows.
#include "util/folder_chooser.h"

#include <mutex>

namespace {
std::mutex g_chooserMutex;
FolderChooser g_chooser;
}  // namespace

FolderChooser CurrentFolderChooser() {
    std::lock_guard<std::mutex> lock(g_chooserMutex);
    return g_chooser;
}

void kardo_set_folder_chooser(const KARDO_FOLDER_CHOOSER* chooser, void* context) {
    std::lock_guard<std::mutex> lock(g_chooserMutex);
    if (chooser && chooser->browse) {
        g_chooser.functions = *chooser;
        g_chooser.context = context;
    } else {
        g_chooser = FolderChooser{};
    }
}
