#ifndef KARDO_MESSAGE_BOX_H
#define KARDO_MESSAGE_BOX_H

/* The library shows messages (system errors of the serial port, problems the
 * user must know about) through one replaceable handler. By default a message
 * goes to standard error and the cautious button is assumed. A program with a
 * user interface installs a handler that shows a real box; tests install one
 * that records. */
#include <kardo/export.h>

/* Style flags passed to the handler. */
#define KARDO_MB_OK 0x0u
#define KARDO_MB_OKCANCEL 0x1u
#define KARDO_MB_YESNOCANCEL 0x3u
#define KARDO_MB_YESNO 0x4u
#define KARDO_MB_TYPEMASK 0xFu
#define KARDO_MB_ICONERROR 0x10u
#define KARDO_MB_ICONQUESTION 0x20u
#define KARDO_MB_ICONEXCLAMATION 0x30u
#define KARDO_MB_ICONINFORMATION 0x40u
#define KARDO_MB_ICONMASK 0xF0u

/* Buttons a handler returns. */
#define KARDO_IDOK 1
#define KARDO_IDCANCEL 2
#define KARDO_IDYES 6
#define KARDO_IDNO 7

/* Shows `text` under `caption` with the style `flags`; returns the button. */
typedef int (*KARDO_MESSAGEBOXPROC)(void* context, const char* text, const char* caption, unsigned int flags);

KARDO_BEGIN_C

/* Installs a handler for every message box of the library; null restores the
 * default. `context` is handed to the handler unchanged. */
KARDO_API void kardo_set_message_box_handler(KARDO_MESSAGEBOXPROC handler, void* context);

KARDO_END_C

#endif
