#pragma once
// Inside the library: the installed folder chooser, taken as one snapshot
// for the life of an open dialog.
#include <kardo/folder_chooser.h>

struct FolderChooser {
    KARDO_FOLDER_CHOOSER functions{};
    void* context = nullptr;

    bool Installed() const { return functions.browse != nullptr; }
};

// The chooser installed now (not Installed() when there is none).
FolderChooser CurrentFolderChooser();
