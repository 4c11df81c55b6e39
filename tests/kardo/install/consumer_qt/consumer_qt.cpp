// A program of a library user that links libkardo-qt from an installed
// prefix. Without a QApplication the chooser cancels; the directory check
// of libkardo works beside it.
#include <kardo/kardo.h>
#include <kardo/qt_folder_chooser.h>

#include <cstdio>
#include <cstdlib>

int main() {
    kardo_qt_install_folder_chooser();
    CFolderDialog dialog("/", BIF_RETURNONLYFSDIRS, nullptr);
    const bool ok = kardo_qt_folder_chooser() != nullptr && kardo_qt_folder_chooser()->browse != nullptr &&
                    dialog.DoModal() == CFolderDialog::IDCANCEL && dialog.GetPathName() == "/" &&
                    TestAndCreateDirectory("/", 0) == 1;
    std::printf("consumer_qt: %s\n", ok ? "ok" : "FAILED");
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
