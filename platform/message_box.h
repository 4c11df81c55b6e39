#pragma once
// One process-wide, replaceable message-box handler. Code that would show a
// modal box calls MessageBox(); the program decides what a box is: the GUI
// installs a real dialog, the headless host prints, tests record.
#include <functional>
#include <string>

namespace platform {

// Style flags and button results with the values the original program used.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_TYPEMASK = 0xF,
    MB_ICONHAND = 0x10,
    MB_ICONSTOP = 0x10,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONWARNING = 0x30,
    MB_ICONASTERISK = 0x40,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
    MB_DEFBUTTON2 = 0x100,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

using MessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

// Shows a box through the installed handler and returns the button pressed.
int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

// Installs a handler (an empty one restores the default) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// The cautious button of a box of these flags (No for yes/no questions,
// Cancel where there is one, Abort for abort/retry/ignore, else OK).
int DefaultAnswer(unsigned flags);

// The default handler: prints "caption: text" to stderr and answers the cautious
// button (No for yes/no questions, Cancel where there is one, else OK).
int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned flags);

}  // namespace platform
