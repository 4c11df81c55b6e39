#pragma once
// Where the database of each root key of the settings store lives.
#include <kardo/registry_store.h>

#include <string>

namespace kardo::registry {

// Folder of the per-user store, or of the system store.
struct StoreLocation {
    std::string folder;
    bool per_user = false;  // created private to the user (0700/0600)
    std::string file;       // folder + "/" + root key name + ".db"
};

// The location of a predefined root key's database; false when hKey is not a
// predefined root key.
bool LocateRootStore(HKEY hKey, StoreLocation& location);

// "HKEY_CURRENT_USER" and so on; nullptr when hKey is not a predefined key.
const char* RootKeyName(HKEY hKey);

bool IsPredefinedKey(HKEY hKey);

}  // namespace kardo::registry
