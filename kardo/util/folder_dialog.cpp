// CFolderDialog over the installed folder chooser.
#include <kardo/folder_dialog.h>

#include <cstdio>
#include <cstring>

#include "util/folder_chooser.h"

namespace {

const char kTitle[] = "Verzeichnis für Datenfiles auswählen";
const size_t kShortNameCharacters = 35;

// The chooser's callback: the dialog travels in the user data.
int BrowseCallback(HWND hwnd, unsigned int uMsg, LPARAM lParam, LPARAM lpData) {
    reinterpret_cast<CFolderDialog*>(lpData)->CallbackFunction(hwnd, uMsg, lParam);
    return 0;
}

}  // namespace

CFolderDialog::CFolderDialog(const char* initial, uint32_t flags, HWND parent)
    : m_bi{}, m_strInitial(initial ? initial : ""), m_szDisplayName{}, m_szPath{}, m_hDialogWnd(nullptr) {
    m_bi.hwndOwner = parent;
    m_bi.pidlRoot = nullptr;
    m_bi.lpszTitle = kTitle;
    m_bi.ulFlags = flags | BIF_STATUSTEXT;
    m_bi.lpfn = BrowseCallback;
    m_bi.iImage = 0;
    PointAtSelf();
}

CFolderDialog::CFolderDialog() : CFolderDialog(nullptr, 0, nullptr) {}

CFolderDialog::CFolderDialog(const CFolderDialog& other)
    : m_bi(other.m_bi),
      m_strInitial(other.m_strInitial),
      m_strPath(other.m_strPath),
      m_hDialogWnd(other.m_hDialogWnd) {
    std::memcpy(m_szDisplayName, other.m_szDisplayName, sizeof m_szDisplayName);
    std::memcpy(m_szPath, other.m_szPath, sizeof m_szPath);
    PointAtSelf();
}

CFolderDialog& CFolderDialog::operator=(const CFolderDialog& other) {
    if (this != &other) {
        m_bi = other.m_bi;
        m_strInitial = other.m_strInitial;
        m_strPath = other.m_strPath;
        std::memcpy(m_szDisplayName, other.m_szDisplayName, sizeof m_szDisplayName);
        std::memcpy(m_szPath, other.m_szPath, sizeof m_szPath);
        m_hDialogWnd = other.m_hDialogWnd;
        PointAtSelf();
    }
    return *this;
}

CFolderDialog::~CFolderDialog() = default;

void CFolderDialog::PointAtSelf() {
    m_bi.pszDisplayName = m_szDisplayName;
    m_bi.lParam = reinterpret_cast<LPARAM>(this);
}

int CFolderDialog::DoModal() {
    m_strPath = m_strInitial;
    const FolderChooser chooser = CurrentFolderChooser();
    if (!chooser.Installed()) {
        std::fprintf(stderr, "%s: no folder chooser installed, answered Cancel\n", m_bi.lpszTitle);
        std::fflush(stderr);
        return IDCANCEL;
    }
    LPITEMIDLIST item = chooser.functions.browse(chooser.context, &m_bi);
    m_hDialogWnd = nullptr;
    int result = IDCANCEL;
    if (item) {
        m_szPath[0] = '\0';
        if (chooser.functions.path_from_item(chooser.context, item, m_szPath)) {
            m_szPath[sizeof m_szPath - 1] = '\0';
            m_strPath = m_szPath;
            result = IDOK;
        }
        if (chooser.functions.free_item) chooser.functions.free_item(chooser.context, item);
    }
    // The selection the user passed through is no choice.
    if (result != IDOK) m_strPath = m_strInitial;
    return result;
}

void CFolderDialog::CallbackFunction(HWND hWnd, unsigned int uMsg, LPARAM lParam) {
    m_hDialogWnd = hWnd;
    if (uMsg == BFFM_INITIALIZED)
        OnInitDialog();
    else if (uMsg == BFFM_SELCHANGED)
        OnSelChanged(reinterpret_cast<LPCITEMIDLIST>(lParam));
}

void CFolderDialog::OnInitDialog() {
    SetSelection(m_strInitial.c_str());
    SetStatusText(ShortName(m_strInitial).c_str());
}

void CFolderDialog::OnSelChanged(LPCITEMIDLIST item) {
    const FolderChooser chooser = CurrentFolderChooser();
    m_szPath[0] = '\0';
    if (chooser.Installed() && chooser.functions.path_from_item(chooser.context, item, m_szPath) == 0)
        m_szPath[0] = '\0';
    m_szPath[sizeof m_szPath - 1] = '\0';
    m_strPath = m_szPath;
    SetStatusText(ShortName(m_strPath).c_str());
}

std::string CFolderDialog::GetPathName() const { return m_strPath; }

LRESULT CFolderDialog::Send(unsigned int message, WPARAM wParam, LPARAM lParam) {
    const FolderChooser chooser = CurrentFolderChooser();
    if (!chooser.Installed() || !chooser.functions.send_message || !m_hDialogWnd) return 0;
    return chooser.functions.send_message(chooser.context, m_hDialogWnd, message, wParam, lParam);
}

void CFolderDialog::EnableOK(int bEnable) { Send(BFFM_ENABLEOK, 0, bEnable ? 1 : 0); }

void CFolderDialog::SetSelection(const char* path) {
    Send(BFFM_SETSELECTIONA, 1, reinterpret_cast<LPARAM>(path));
}

void CFolderDialog::SetSelection(LPCITEMIDLIST item) { Send(BFFM_SETSELECTIONA, 0, reinterpret_cast<LPARAM>(item)); }

void CFolderDialog::SetStatusText(const char* text) { Send(BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(text)); }

std::string CFolderDialog::ShortName(std::string name) {
    // Characters are counted by their first bytes: a UTF-8 continuation byte
    // (10xxxxxx) never starts one.
    size_t characters = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i != 0 && (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) continue;
        if (characters == kShortNameCharacters) return name.substr(0, i) + "...";
        ++characters;
    }
    return name;
}
