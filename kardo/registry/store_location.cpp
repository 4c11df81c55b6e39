#include "registry/store_location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace kardo::registry {

namespace {

constexpr const char* kSystemFolder = "/var/lib/kardo/registry";
constexpr const char* kFolderVariable = "KARDO_REGISTRY_DIR";

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/tmp";
}

// XDG base directories: only an absolute XDG_CONFIG_HOME counts.
std::string UserConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return config;
    return HomeFolder() + "/.config";
}

}  // namespace

const char* RootKeyName(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
    if (hKey == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
    if (hKey == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
    if (hKey == HKEY_USERS) return "HKEY_USERS";
    if (hKey == HKEY_CURRENT_CONFIG) return "HKEY_CURRENT_CONFIG";
    return nullptr;
}

bool IsPredefinedKey(HKEY hKey) { return RootKeyName(hKey) != nullptr; }

bool LocateRootStore(HKEY hKey, StoreLocation& location) {
    const char* name = RootKeyName(hKey);
    if (!name) return false;
    const char* override_folder = std::getenv(kFolderVariable);
    if (override_folder && *override_folder) {
        location.folder = override_folder;
        location.per_user = true;
    } else if (hKey == HKEY_CURRENT_USER) {
        location.folder = UserConfigFolder() + "/kardo/registry";
        location.per_user = true;
    } else {
        location.folder = kSystemFolder;
        location.per_user = false;
    }
    location.file = location.folder + "/" + name + ".db";
    return true;
}

}  // namespace kardo::registry
