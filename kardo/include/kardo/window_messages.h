#ifndef KARDO_WINDOW_MESSAGES_H
#define KARDO_WINDOW_MESSAGES_H

/* Window handles and per-thread message queues.
 *
 * A window handle names a receiver registered by a thread: a callback and
 * the thread that registered it. Messages posted to a window wait in that
 * thread's queue until the thread drains it (kardo_dispatch_messages, or a
 * card driver's message pump while it waits for the terminal); then the
 * callback runs on that thread. Messages posted to a thread have no window:
 * the card drivers watch them for WM_CARDABORT.
 *
 * The library keeps its own queues, so applications post and register
 * through these functions, not through any copy of their own. */
#include <stdint.h>

#include <kardo/export.h>

/* An opaque window handle; null means "no window". */
typedef struct kardo_window_tag* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;

/* A window's callback; `context` is the pointer given at registration. */
typedef void (*KARDO_WNDPROC)(void* context, HWND hwnd, unsigned int message, WPARAM wParam, LPARAM lParam);

KARDO_BEGIN_C

/* Registers a receiver owned by the calling thread; null when proc is null. */
KARDO_API HWND kardo_register_window(KARDO_WNDPROC proc, void* context);
/* Forgets a receiver; messages still queued for it are dropped. 1 if it existed. */
KARDO_API int kardo_unregister_window(HWND hwnd);

/* The calling thread's id (never 0); its queue exists from then on. */
KARDO_API uint32_t kardo_current_thread_id(void);

/* Queue a message for a window / for a thread. 1 on success, 0 when the
 * window or thread is unknown (or has ended) or its queue is full. */
KARDO_API int kardo_post_message(HWND hwnd, unsigned int message, WPARAM wParam, LPARAM lParam);
KARDO_API int kardo_post_thread_message(uint32_t thread, unsigned int message, WPARAM wParam, LPARAM lParam);

/* Asks the card operation running on `thread` to stop at its next message
 * pump (posts WM_CARDABORT to that thread). 1 on success. */
KARDO_API int kardo_post_card_abort(uint32_t thread);

/* Drains the calling thread's queue: every window message goes to its
 * window's callback; thread messages are discarded. Returns how many
 * messages were removed. */
KARDO_API int kardo_dispatch_messages(void);

/* A file descriptor that is readable while the calling thread's queue holds
 * messages (for poll() or an event loop's socket notifier). Owned by the
 * library; valid until the thread ends. -1 on failure. */
KARDO_API int kardo_message_queue_fd(void);

KARDO_END_C

#endif
