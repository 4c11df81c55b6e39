// Key handles over the long run: however many keys a process opens, a handle
// never becomes a predefined root key or a handle still open. Its own program,
// because the count is set once per process, before the first open.
#include <kardo/registry_store.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "temp_store.h"

using RegistryHandleTest = TempStoreTest;

TEST_F(RegistryHandleTest, HandlesWrapBelowTheRootKeys) {
    setenv("KARDO_TEST_REGISTRY_FIRST_HANDLE", "7fffffd0", 1);
    HKEY first = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quellwerk\\First", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &first, nullptr));
    std::set<HKEY> open{first};
    // Past 0x7ffffff0 the count starts again below: never 0x80000000, which
    // is HKEY_CLASSES_ROOT, and never a handle that is still open.
    for (int i = 0; i < 6; ++i) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quellwerk\\First", 0,
                                               KEY_ALL_ACCESS, &key));
        const auto value = reinterpret_cast<uintptr_t>(key);
        EXPECT_LT(value, 0x80000000u);
        EXPECT_TRUE(open.insert(key).second) << std::hex << value;
        const DWORD number = 7;
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Seven", 0, REG_DWORD,
                                                reinterpret_cast<const BYTE*>(&number), sizeof number));
    }
    // Every value went to the current user's key, none to HKEY_CLASSES_ROOT.
    EXPECT_FALSE(std::filesystem::exists(StoreFile("HKEY_CLASSES_ROOT")));
    for (HKEY key : open) RegCloseKey(key);
}
