#pragma once
// The program after its options are read: the dialog when there is a display
// and --headless is not given, else the headless host. Both take the stored
// settings (server_settings.h) for whatever the options leave out, so a
// server configured in the dialog starts headless with no options at all.
#include "server/ui/server_settings.h"

struct ProgramOptions {
    bool headless = false;
    SettingOverrides overrides;
};

// True when a window can be shown: DISPLAY or WAYLAND_DISPLAY is set.
bool HaveDisplay();

// Runs tovan; returns the program's exit code.
int RunTovan(int argc, char** argv, const ProgramOptions& options);
