#ifndef KARDO_CARD_MESSAGES_H
#define KARDO_CARD_MESSAGES_H

/* The window messages of the card operations. */
#include <kardo/window_messages.h>

/* Posted to the application's window: wParam 2 = state (lParam 2 = waiting
 * for a card, other values are driver states); wParam 0 (read) or 1 (write)
 * = progress, lParam = per cent. WM_USER + 333. */
#define WM_CARDSTATE 0x054D
/* Posted by the application to the thread running a card operation; the
 * operation stops at its next message pump. WM_USER + 334. */
#define WM_CARDABORT 0x054E

#endif
