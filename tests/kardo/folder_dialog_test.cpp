// CFolderDialog through a scripted folder chooser that records what the
// dialog asks of it, and ShortName.
#include <kardo/folder_dialog.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Item {
    std::string path;
    bool folder = true;  // false: something that is no folder of the file system
};

struct Sent {
    unsigned message;
    std::string text;  // the status text or path, or the OK state
    bool operator==(const Sent&) const = default;
    friend void PrintTo(const Sent& s, std::ostream* os) { *os << std::hex << s.message << " " << s.text; }
};

// Plays the user: walks through `walk`, then returns `chosen` (null: cancel).
struct ScriptedChooser {
    std::vector<Item> walk;
    Item* chosen = nullptr;
    std::vector<Sent> sent;
    std::vector<std::string> pathsDuringWalk;
    int freed = 0;

    ScriptedChooser() { kardo_set_folder_chooser(&kFunctions, this); }
    ~ScriptedChooser() { kardo_set_folder_chooser(nullptr, nullptr); }

    static ScriptedChooser* Self(void* context) { return static_cast<ScriptedChooser*>(context); }
    static LPITEMIDLIST Browse(void* context, const BROWSEINFOA* bi) {
        HWND window = reinterpret_cast<HWND>(context);
        bi->lpfn(window, BFFM_INITIALIZED, 0, bi->lParam);
        bi->lpfn(window, 77, 0, bi->lParam);  // not for the dialog
        for (Item& step : Self(context)->walk) {
            bi->lpfn(window, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(&step), bi->lParam);
            Self(context)->pathsDuringWalk.push_back(reinterpret_cast<CFolderDialog*>(bi->lParam)->GetPathName());
        }
        if (Self(context)->chosen) std::strcpy(bi->pszDisplayName, "chosen");
        return reinterpret_cast<LPITEMIDLIST>(Self(context)->chosen);
    }
    static int PathFromItem(void*, LPCITEMIDLIST list, char* path) {
        const Item* item = reinterpret_cast<const Item*>(list);
        std::strcpy(path, item->folder ? item->path.c_str() : "");
        return item->folder;
    }
    static void FreeItem(void* context, LPITEMIDLIST) { ++Self(context)->freed; }
    static LRESULT Send(void* context, HWND window, unsigned message, WPARAM wParam, LPARAM lParam) {
        EXPECT_EQ(reinterpret_cast<HWND>(context), window);
        EXPECT_EQ(message == BFFM_SETSELECTIONA ? 1u : 0u, wParam);
        const bool text = message != BFFM_ENABLEOK;
        Self(context)->sent.push_back({message, text ? reinterpret_cast<const char*>(lParam) : std::to_string(lParam)});
        return 0;
    }
    static constexpr KARDO_FOLDER_CHOOSER kFunctions = {Browse, PathFromItem, FreeItem, Send};
};

const std::string kDeep = "/home/anna/daten/projekte/zweitausend-x";  // 39 characters

// Run on a copy: the callbacks reach the copy only.
TEST(FolderDialog, ChooserMessagesDriveSelectionAndStatusTextOfTheCopy) {
    ScriptedChooser chooser;
    Item chosen{"/daten/neu"};
    chooser.walk = {{"/daten/alt"}, {kDeep + "y"}, {"Netzwerk", false}};
    chooser.chosen = &chosen;
    CFolderDialog original(kDeep.c_str(), BIF_RETURNONLYFSDIRS, nullptr);
    CFolderDialog dialog(original);
    EXPECT_STREQ("Verzeichnis für Datenfiles auswählen", dialog.m_bi.lpszTitle);
    EXPECT_EQ(BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT, dialog.m_bi.ulFlags);

    EXPECT_EQ(CFolderDialog::IDOK, dialog.DoModal());
    EXPECT_EQ("/daten/neu", dialog.GetPathName());
    EXPECT_STREQ("chosen", dialog.m_szDisplayName);
    EXPECT_EQ(1, chooser.freed);
    EXPECT_EQ((std::vector<std::string>{"/daten/alt", kDeep + "y", ""}), chooser.pathsDuringWalk);
    const std::vector<Sent> expected = {
        {BFFM_SETSELECTIONA, kDeep},
        {BFFM_SETSTATUSTEXTA, kDeep.substr(0, 35) + "..."},
        {BFFM_SETSTATUSTEXTA, "/daten/alt"},
        {BFFM_SETSTATUSTEXTA, kDeep.substr(0, 35) + "..."},
        {BFFM_SETSTATUSTEXTA, ""},
    };
    EXPECT_EQ(expected, chooser.sent);
    EXPECT_EQ("", original.GetPathName());
    EXPECT_STREQ("", original.m_szDisplayName);
    CFolderDialog assigned;
    assigned = original;
    EXPECT_EQ(reinterpret_cast<LPARAM>(&assigned), assigned.m_bi.lParam);
    EXPECT_EQ(assigned.m_szDisplayName, assigned.m_bi.pszDisplayName);
}

TEST(FolderDialog, CancelNoFolderAndNoChooserKeepTheInitialFolder) {
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
    CFolderDialog dialog("/daten", 0, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CFolderDialog::IDCANCEL, dialog.DoModal());
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find("no folder chooser"));
    EXPECT_EQ("/daten", dialog.GetPathName());
}

TEST(FolderDialog, ShortNameCountsCharacters) {
    const std::string a35(35, 'a');
    std::string umlauts35, euros36;
    for (int i = 0; i < 35; ++i) umlauts35 += "ä";
    for (int i = 0; i < 36; ++i) euros36 += "€";
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {a35, a35},
        {a35 + "b", a35 + "..."},
        {umlauts35, umlauts35},  // 70 bytes
        {umlauts35 + "ö", umlauts35 + "..."},
        {euros36, euros36.substr(0, 35 * 3) + "..."},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(out, CFolderDialog::ShortName(in)) << in;
}

}  // namespace
