// kardo-pick-folder: the folder dialog of libkardo in Qt's chooser, and the
// directory check with its question, for trying them by hand.
//
//   kardo-pick-folder [INITIAL]         pick a folder; prints it, exit 1 on cancel
//   kardo-pick-folder --check PATH      TestAndCreateDirectory(PATH, 1)
#include <kardo/kardo.h>
#include <kardo/qt_folder_chooser.h>

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

namespace {

// The library's boxes as Qt message boxes.
int ShowBox(void*, const char* text, const char* caption, unsigned flags) {
    const bool question = (flags & KARDO_MB_TYPEMASK) == KARDO_MB_YESNO;
    const QMessageBox::Icon icon = (flags & KARDO_MB_ICONMASK) == KARDO_MB_ICONERROR ? QMessageBox::Critical
                                   : question                                        ? QMessageBox::Question
                                                                                     : QMessageBox::Information;
    QMessageBox box(icon, QString::fromUtf8(caption), QString::fromUtf8(text),
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    const int button = box.exec();
    return button == QMessageBox::Yes ? KARDO_IDYES : button == QMessageBox::No ? KARDO_IDNO : KARDO_IDOK;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kardo_qt_install_folder_chooser();
    kardo_set_message_box_handler(ShowBox, nullptr);
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
        const int result = TestAndCreateDirectory(argv[2], 1);
        std::printf("%d\n", result);
        return result == 1 ? 0 : 1;
    }
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: kardo-pick-folder [INITIAL]\n       kardo-pick-folder --check PATH\n");
        return 2;
    }
    CFolderDialog dialog(argc == 2 ? argv[1] : nullptr, BIF_RETURNONLYFSDIRS, nullptr);
    if (dialog.DoModal() != CFolderDialog::IDOK) return 1;
    std::printf("%s\n", dialog.GetPathName().c_str());
    return 0;
}
