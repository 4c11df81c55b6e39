#ifndef KARDO_FOLDER_DIALOG_H
#define KARDO_FOLDER_DIALOG_H

#ifdef __cplusplus

#include <kardo/export.h>
#include <kardo/folder_chooser.h>

#include <cstdint>
#include <string>

/* CFolderDialog: lets the user pick the folder for an application's data
 * files, in the chooser the program installed (<kardo/folder_chooser.h>),
 * under the title "Verzeichnis für Datenfiles auswählen" and with a status
 * line that shows the current selection, shortened to 35 characters.
 *
 *     CFolderDialog dialog("/home/anna/daten");
 *     if (dialog.DoModal() == IDOK) use(dialog.GetPathName());
 *
 * A derived class may override OnInitDialog and OnSelChanged, for example to
 * disable OK with EnableOK(FALSE) for folders it does not accept; EnableOK,
 * SetSelection and SetStatusText act on the open chooser only, from those
 * two operations. Texts and paths are UTF-8. */
class KARDO_API CFolderDialog {
public:
    enum { IDOK = 1, IDCANCEL = 2 };

    BROWSEINFOA m_bi;                             /* filled by the constructor */
    std::string m_strInitial;                     /* selected when the chooser opens */
    std::string m_strPath;                        /* chosen folder, or the selection while open */
    char m_szDisplayName[KARDO_PATH_BUFFER];      /* chosen folder's own name */
    char m_szPath[KARDO_PATH_BUFFER];             /* the selection's path */
    HWND m_hDialogWnd;                            /* the open chooser, null otherwise */

    /* `initial` may be null (no initial folder); BIF_STATUSTEXT is always
     * added to `flags`; `parent` may be null. */
    CFolderDialog(const char* initial, uint32_t flags, HWND parent);
    CFolderDialog();
    /* Memberwise, except that the copy's m_bi points at the copy itself: its
     * callbacks and display name never reach the original. */
    CFolderDialog(const CFolderDialog& other);
    CFolderDialog& operator=(const CFolderDialog& other);
    virtual ~CFolderDialog();

    /* Shows the chooser. IDOK when a folder of the file system was chosen
     * (GetPathName gives it); IDCANCEL when the user cancelled, chose
     * something else, or no chooser is installed; GetPathName then gives the
     * initial folder. */
    virtual int DoModal();
    /* The chooser's messages: BFFM_INITIALIZED calls OnInitDialog,
     * BFFM_SELCHANGED OnSelChanged with the item; others are ignored. */
    virtual void OnInitDialog();
    virtual void OnSelChanged(LPCITEMIDLIST item);
    virtual void CallbackFunction(HWND hWnd, unsigned int uMsg, LPARAM lParam);

    std::string GetPathName() const;

    void EnableOK(int bEnable);
    void SetSelection(const char* path);
    void SetSelection(LPCITEMIDLIST item);
    void SetStatusText(const char* text);

    /* At most 35 characters (never a part of one), then "..." when the text
     * was longer. */
    static std::string ShortName(std::string name);

private:
    void PointAtSelf();
    LRESULT Send(unsigned int message, WPARAM wParam, LPARAM lParam);
};

#endif /* __cplusplus */

#endif
