#pragma once
// Context help of the main dialog: F1 on one of four controls asks for a
// help context number. The default handler shows the program's own help
// text for that context in a help window that belongs to the dialog (closed
// with it); a context without a text shows a short note. Tests and other
// front ends may install their own handler.
#include <QString>
#include <QWidget>
#include <functional>

inline constexpr unsigned kHelpCtrlPort = 133072;   // 0x207D0, control 1004
inline constexpr unsigned kHelpDataPort = 133073;   // 0x207D1, control 1003
inline constexpr unsigned kHelpDevice = 133074;     // 0x207D2, control 1002
inline constexpr unsigned kHelpAutostart = 133075;  // 0x207D3, check box 1008

// The help context of a control identifier, 0 when it has none.
unsigned HelpContextForControl(int controlId);
// The help text of a context; empty for an unknown one.
QString HelpText(unsigned context);

using ContextHelpHandler = std::function<void(QWidget* dialog, unsigned context)>;
void ShowContextHelp(QWidget* dialog, unsigned context);
// Installs a handler (an empty one restores the default); returns the previous one.
ContextHelpHandler SetContextHelpHandler(ContextHelpHandler handler);
