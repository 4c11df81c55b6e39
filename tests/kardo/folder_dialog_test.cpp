// CFolderDialog through a scripted folder chooser that records what the
// dialog asks of it, and ShortName.
#include <kardo/folder_dialog.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// An item of the scripted chooser: a path, and whether it is a folder of
// the file system.
struct Item {
    std::string path;
    bool folder = true;
};

LPITEMIDLIST AsList(Item* item) { return reinterpret_cast<LPITEMIDLIST>(item); }
const Item* AsItem(LPCITEMIDLIST list) { return reinterpret_cast<const Item*>(list); }

struct Sent {
    unsigned message;
    WPARAM wParam;
    std::string text;  // the text or path sent, or the item's path
    bool operator==(const Sent&) const = default;
    friend void PrintTo(const Sent& s, std::ostream* os) { *os << std::hex << s.message << " " << s.wParam << " " << s.text; }
};

// Plays the user: opens, walks through `walk`, then returns `chosen` (null:
// cancel). Records every message the dialog sends.
class ScriptedChooser {
public:
    std::vector<Item> walk;
    Item* chosen = nullptr;
    std::vector<Sent> sent;
    std::vector<std::string> pathsDuringWalk;  // GetPathName after each step
    const BROWSEINFOA* info = nullptr;
    int freed = 0;
    HWND window = reinterpret_cast<HWND>(0x1234);
    const char* displayName = "chosen";

    ScriptedChooser() { kardo_set_folder_chooser(&kFunctions, this); }
    ~ScriptedChooser() { kardo_set_folder_chooser(nullptr, nullptr); }

private:
    static LPITEMIDLIST Browse(void* context, const BROWSEINFOA* bi) {
        auto* self = static_cast<ScriptedChooser*>(context);
        self->info = bi;
        auto* dialog = reinterpret_cast<CFolderDialog*>(bi->lParam);
        bi->lpfn(self->window, BFFM_INITIALIZED, 0, bi->lParam);
        bi->lpfn(self->window, 77, 0, bi->lParam);  // not for the dialog
        for (Item& step : self->walk) {
            bi->lpfn(self->window, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(AsList(&step)), bi->lParam);
            self->pathsDuringWalk.push_back(dialog->GetPathName());
        }
        if (self->chosen) std::strcpy(bi->pszDisplayName, self->displayName);
        return self->chosen ? AsList(self->chosen) : nullptr;
    }
    static int PathFromItem(void*, LPCITEMIDLIST list, char* path) {
        const Item* item = AsItem(list);
        std::strcpy(path, item->folder ? item->path.c_str() : "");
        return item->folder ? 1 : 0;
    }
    static void FreeItem(void* context, LPITEMIDLIST) { ++static_cast<ScriptedChooser*>(context)->freed; }
    static LRESULT SendMessage(void* context, HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<ScriptedChooser*>(context);
        EXPECT_EQ(self->window, window);
        std::string text;
        if (message == BFFM_SETSTATUSTEXTA || (message == BFFM_SETSELECTIONA && wParam == 1))
            text = reinterpret_cast<const char*>(lParam);
        else if (message == BFFM_SETSELECTIONA)
            text = AsItem(reinterpret_cast<LPCITEMIDLIST>(lParam))->path;
        else
            text = std::to_string(lParam);
        self->sent.push_back(Sent{message, wParam, text});
        return 0;
    }
    static constexpr KARDO_FOLDER_CHOOSER kFunctions = {Browse, PathFromItem, FreeItem, SendMessage};
};

const std::string kDeep = "/home/anna/daten/projekte/zweitausend-x";  // 39 characters
const std::string kDeeper = kDeep + "y";

TEST(FolderDialog, ConstructorFillsTheBrowseInfo) {
    HWND parent = reinterpret_cast<HWND>(0x99);
    CFolderDialog dialog("/daten", BIF_RETURNONLYFSDIRS, parent);
    EXPECT_EQ(parent, dialog.m_bi.hwndOwner);
    EXPECT_EQ(nullptr, dialog.m_bi.pidlRoot);
    EXPECT_EQ(dialog.m_szDisplayName, dialog.m_bi.pszDisplayName);
    EXPECT_STREQ("Verzeichnis für Datenfiles auswählen", dialog.m_bi.lpszTitle);
    EXPECT_EQ(BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT, dialog.m_bi.ulFlags);
    EXPECT_NE(nullptr, dialog.m_bi.lpfn);
    EXPECT_EQ(reinterpret_cast<LPARAM>(&dialog), dialog.m_bi.lParam);
    EXPECT_EQ(0, dialog.m_bi.iImage);
    EXPECT_EQ("/daten", dialog.m_strInitial);

    CFolderDialog plain;
    EXPECT_EQ(nullptr, plain.m_bi.hwndOwner);
    EXPECT_EQ(BIF_STATUSTEXT, plain.m_bi.ulFlags);
    EXPECT_EQ("", plain.m_strInitial);
}

TEST(FolderDialog, ChooserMessagesDriveSelectionAndStatusText) {
    ScriptedChooser chooser;
    Item chosen{"/daten/neu"};
    chooser.walk = {{"/daten/alt"}, {kDeeper}, {"/proc-like", false}};
    chooser.chosen = &chosen;
    CFolderDialog dialog(kDeep.c_str(), 0, nullptr);

    EXPECT_EQ(CFolderDialog::IDOK, dialog.DoModal());
    EXPECT_EQ("/daten/neu", dialog.GetPathName());
    EXPECT_STREQ("chosen", dialog.m_szDisplayName);
    EXPECT_EQ(1, chooser.freed);
    EXPECT_EQ(nullptr, dialog.m_hDialogWnd);
    EXPECT_EQ((std::vector<std::string>{"/daten/alt", kDeeper, ""}), chooser.pathsDuringWalk);
    const std::vector<Sent> expected = {
        {BFFM_SETSELECTIONA, 1, kDeep},
        {BFFM_SETSTATUSTEXTA, 0, kDeep.substr(0, 35) + "..."},
        {BFFM_SETSTATUSTEXTA, 0, "/daten/alt"},
        {BFFM_SETSTATUSTEXTA, 0, kDeeper.substr(0, 35) + "..."},
        {BFFM_SETSTATUSTEXTA, 0, ""},
    };
    EXPECT_EQ(expected, chooser.sent);
}

TEST(FolderDialog, CancelAndNonFolderChoicesKeepTheInitialFolder) {
    Item notAFolder{"Netzwerk", false};
    for (Item* chosen : {static_cast<Item*>(nullptr), &notAFolder}) {
        ScriptedChooser chooser;
        chooser.walk = {{"/daten/alt"}};
        chooser.chosen = chosen;
        CFolderDialog dialog("/daten", 0, nullptr);
        EXPECT_EQ(CFolderDialog::IDCANCEL, dialog.DoModal());
        EXPECT_EQ((std::vector<std::string>{"/daten/alt"}), chooser.pathsDuringWalk);
        EXPECT_EQ("/daten", dialog.GetPathName());
        EXPECT_EQ(chosen ? 1 : 0, chooser.freed);
    }
}

TEST(FolderDialog, WithoutAChooserDoModalCancelsAndSaysSo) {
    CFolderDialog dialog("/daten", 0, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CFolderDialog::IDCANCEL, dialog.DoModal());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, said.find("Verzeichnis für Datenfiles auswählen")) << said;
    EXPECT_EQ("/daten", dialog.GetPathName());
    // Nothing is open: the operations for the open chooser do nothing.
    dialog.EnableOK(0);
    dialog.SetStatusText("x");
}

// Overrides as an application would: OK only for folders below /daten.
class DatenOnly : public CFolderDialog {
public:
    using CFolderDialog::CFolderDialog;
    Item home{"/daten"};
    void OnInitDialog() override {
        SetSelection(reinterpret_cast<LPCITEMIDLIST>(&home));
        SetStatusText("Ordner unter /daten");
    }
    void OnSelChanged(LPCITEMIDLIST item) override {
        CFolderDialog::OnSelChanged(item);
        EnableOK(GetPathName().rfind("/daten/", 0) == 0);
    }
};

TEST(FolderDialog, DerivedDialogsGetTheCallbacksAndCanDisableOk) {
    ScriptedChooser chooser;
    chooser.walk = {{"/daten/a"}, {"/tmp"}};
    DatenOnly dialog(nullptr, 0, nullptr);
    EXPECT_EQ(CFolderDialog::IDCANCEL, dialog.DoModal());
    const std::vector<Sent> expected = {
        {BFFM_SETSELECTIONA, 0, "/daten"},       {BFFM_SETSTATUSTEXTA, 0, "Ordner unter /daten"},
        {BFFM_SETSTATUSTEXTA, 0, "/daten/a"},    {BFFM_ENABLEOK, 0, "1"},
        {BFFM_SETSTATUSTEXTA, 0, "/tmp"},        {BFFM_ENABLEOK, 0, "0"},
    };
    EXPECT_EQ(expected, chooser.sent);
}

TEST(FolderDialog, CopiesGetTheirOwnCallbacks) {
    ScriptedChooser chooser;
    Item chosen{"/daten/kopie"};
    chooser.walk = {{"/daten/a"}};
    chooser.chosen = &chosen;
    CFolderDialog original("/daten", 0, nullptr);
    CFolderDialog copied(original);
    CFolderDialog assigned;
    assigned = original;
    for (CFolderDialog* copy : {&copied, &assigned}) {
        EXPECT_EQ(reinterpret_cast<LPARAM>(copy), copy->m_bi.lParam);
        EXPECT_EQ(copy->m_szDisplayName, copy->m_bi.pszDisplayName);
        EXPECT_EQ("/daten", copy->m_strInitial);
        EXPECT_EQ(CFolderDialog::IDOK, copy->DoModal());
        EXPECT_EQ("/daten/kopie", copy->GetPathName());
        EXPECT_STREQ("chosen", copy->m_szDisplayName);
    }
    EXPECT_EQ("", original.GetPathName());
    EXPECT_STREQ("", original.m_szDisplayName);
}

TEST(FolderDialog, ShortNameCountsCharacters) {
    const std::string a35(35, 'a');
    std::string umlaut35, euro36;
    for (int i = 0; i < 35; ++i) umlaut35 += "ä";
    for (int i = 0; i < 36; ++i) euro36 += "€";
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {a35, a35},
        {a35 + "b", a35 + "..."},
        {a35 + "bcdef", a35 + "..."},
        {umlaut35, umlaut35},                                   // 70 bytes, 35 characters
        {umlaut35 + "ö", umlaut35 + "..."},
        {euro36, euro36.substr(0, 35 * 3) + "..."},
        {std::string(34, 'a') + "ü" + "x", std::string(34, 'a') + "ü" + "..."},
    };
    for (const Case& c : cases) EXPECT_EQ(c.out, CFolderDialog::ShortName(c.in)) << c.in;
}

}  // namespace
