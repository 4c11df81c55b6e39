#pragma once
// The calling thread's last system error, kept apart from errno so that later
// library calls (logging, formatting) cannot overwrite it before it is shown.
#include <string>

namespace platform {

int LastError();
void SetLastError(int code);
// The same with a text of the caller's own, which SystemErrorText shows for
// this code in place of the system's text (until the next last error is set),
// where the system's words alone would not say what went wrong.
void SetLastError(int code, const std::string& text);
// Takes errno as the thread's last error and returns it.
int SaveErrno();

// The system's message text for the thread's last error, with a trailing line
// break, as the original system formatted its messages.
std::string SystemErrorText();
std::string SystemErrorText(int code);

}  // namespace platform
