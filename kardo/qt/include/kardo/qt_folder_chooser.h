#ifndef KARDO_QT_FOLDER_CHOOSER_H
#define KARDO_QT_FOLDER_CHOOSER_H

/* libkardo-qt: the folder chooser of CFolderDialog (<kardo/folder_dialog.h>)
 * for Qt Widgets programs.
 *
 * The chooser is Qt's own file dialog for directories
 * (QFileDialog::DontUseNativeDialog), so it looks and behaves the same on
 * every desktop and can be driven under a virtual display. It shows the
 * dialog's title, a status line under the file view (BIF_STATUSTEXT), and
 * calls the dialog back as the user moves: BFFM_INITIALIZED before it is
 * shown, BFFM_SELCHANGED whenever the folder that "Choose" would take
 * changes (a folder entered, another one highlighted). EnableOK switches the
 * "Choose" button, SetSelection opens the given folder.
 *
 * Install it once, after the QApplication exists:
 *
 *     QApplication app(argc, argv);
 *     kardo_qt_install_folder_chooser();
 *
 * The dialog runs on the GUI thread; a CFolderDialog used on another thread
 * waits for it there. Without a QApplication, DoModal answers "cancel" and
 * says so on standard error. */
#include <kardo/export.h>
#include <kardo/folder_chooser.h>

KARDO_BEGIN_C

/* Makes the Qt chooser the chooser of every CFolderDialog of the process. */
KARDO_API void kardo_qt_install_folder_chooser(void);

/* The chooser's table, for a program that wants to wrap it. */
KARDO_API const KARDO_FOLDER_CHOOSER* kardo_qt_folder_chooser(void);

KARDO_END_C

#endif
