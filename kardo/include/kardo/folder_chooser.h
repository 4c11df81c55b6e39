#ifndef KARDO_FOLDER_CHOOSER_H
#define KARDO_FOLDER_CHOOSER_H

/* The folder chooser behind CFolderDialog (<kardo/folder_dialog.h>).
 *
 * libkardo draws no windows. A program with a user interface installs a
 * chooser, a table of four functions, once; every CFolderDialog of the
 * process then shows it. libkardo-qt has one built on Qt's own file dialog
 * (<kardo/qt_folder_chooser.h>). Without a chooser, DoModal answers "cancel"
 * and says so on standard error.
 *
 * What a chooser must do:
 * - browse(context, info) shows a modal folder chooser titled
 *   info->lpszTitle (UTF-8) and returns the chosen item, or null when the
 *   user cancelled. While it is open it calls info->lpfn (when not null)
 *   with a window handle of its own that names this open chooser and
 *   info->lParam as the last argument: once BFFM_INITIALIZED (parameter 0)
 *   before the user can act, then BFFM_SELCHANGED with the item of the new
 *   selection whenever the selection changes. An item handed to the callback
 *   belongs to the chooser and is valid during that call only. With
 *   BIF_STATUSTEXT in info->ulFlags the chooser shows a status line. When
 *   info->pszDisplayName is not null, it receives the chosen folder's own
 *   name (at most KARDO_PATH_BUFFER bytes with the terminating zero).
 * - path_from_item(context, item, path) writes the item's absolute path
 *   (UTF-8, at most KARDO_PATH_BUFFER bytes with the terminating zero) and
 *   returns 1 when the item is a folder of the file system; otherwise it
 *   writes an empty text and returns 0.
 * - free_item(context, item) releases an item returned by browse.
 * - send_message(context, window, message, wParam, lParam) acts on the open
 *   chooser named by `window`: BFFM_SETSTATUSTEXTA (lParam: the text),
 *   BFFM_ENABLEOK (lParam: 1 enables the OK button, 0 disables it),
 *   BFFM_SETSELECTIONA (wParam 1: lParam is a path; wParam 0: lParam is an
 *   item of this chooser). A window that is not open is ignored; the result
 *   is 0.
 * The functions are called on the thread that runs DoModal; a chooser may
 * do its work on its toolkit's GUI thread instead and call back from there
 * while DoModal waits (libkardo-qt does). */
#include <limits.h>
#include <stdint.h>

#include <kardo/export.h>
#include <kardo/window_messages.h>

/* Bytes of every path buffer of the folder chooser and CFolderDialog. */
#define KARDO_PATH_BUFFER PATH_MAX

#ifndef KARDO_LRESULT_TYPE
#define KARDO_LRESULT_TYPE
typedef intptr_t LRESULT;
#endif

/* An item of the chooser: opaque, each chooser has its own kind. */
typedef struct kardo_item_id_list_tag ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;

/* The chooser's callback: window, message, parameter, user data. */
typedef int (*BFFCALLBACK)(HWND hwnd, unsigned int uMsg, LPARAM lParam, LPARAM lpData);

/* What the chooser is to show. */
typedef struct _browseinfoA {
    HWND hwndOwner;          /* window the chooser belongs to; may be null */
    LPCITEMIDLIST pidlRoot;  /* top of the tree; null: the whole file system */
    char* pszDisplayName;    /* receives the chosen folder's name; may be null */
    const char* lpszTitle;   /* title of the chooser, UTF-8 */
    unsigned int ulFlags;    /* BIF_* */
    BFFCALLBACK lpfn;        /* may be null */
    LPARAM lParam;           /* handed to lpfn */
    int iImage;
} BROWSEINFOA, *LPBROWSEINFOA;

/* Flags of ulFlags. */
#define BIF_RETURNONLYFSDIRS 0x0001u
#define BIF_DONTGOBELOWDOMAIN 0x0002u
#define BIF_STATUSTEXT 0x0004u

/* Messages from the chooser to the callback. */
#define BFFM_INITIALIZED 1u
#define BFFM_SELCHANGED 2u
/* Messages to the open chooser. */
#define BFFM_SETSTATUSTEXTA 0x464u
#define BFFM_ENABLEOK 0x465u
#define BFFM_SETSELECTIONA 0x466u

typedef struct kardo_folder_chooser {
    LPITEMIDLIST (*browse)(void* context, const BROWSEINFOA* info);
    int (*path_from_item)(void* context, LPCITEMIDLIST item, char* path);
    void (*free_item)(void* context, LPITEMIDLIST item);
    LRESULT (*send_message)(void* context, HWND window, unsigned int message, WPARAM wParam, LPARAM lParam);
} KARDO_FOLDER_CHOOSER;

KARDO_BEGIN_C

/* Installs the chooser of every CFolderDialog; the table is copied, and
 * `context` is handed to its functions unchanged. Null (or a table without
 * browse) removes it. Change it only while no dialog is open. */
KARDO_API void kardo_set_folder_chooser(const KARDO_FOLDER_CHOOSER* chooser, void* context);

KARDO_END_C

#endif
