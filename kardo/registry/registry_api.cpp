// The store functions: open keys are numbered handles into a table, so that a
// stale or foreign handle is refused with ERROR_INVALID_HANDLE instead of
// being followed. One lock serialises the calls of all threads of a process;
// SQLite's file locks serialise the processes.
#include <kardo/registry_store.h>

#include "registry/store_database.h"
#include "registry/store_location.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kardo::registry {
namespace {

constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kMaximumAllowed = 0x02000000u;
constexpr REGSAM kAnyWrite = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_DELETE_RIGHT;

struct KeyRef {
    std::shared_ptr<StoreDatabase> database;
    int64_t id = kRootKeyId;
    REGSAM access = KEY_ALL_ACCESS;
};

// Key handles count up from kFirstHandle in steps of kHandleStep and stay
// below the predefined root keys (HKEY_CLASSES_ROOT is 0x80000000): at the
// limit they start again from the first, passing over handles still open.
constexpr uintptr_t kFirstHandle = 0x1000;
constexpr uintptr_t kHandleStep = 0x10;
constexpr uintptr_t kHandleLimit = 0x80000000u;

// Tests start the count near the limit through KARDO_TEST_REGISTRY_FIRST_HANDLE
// (hexadecimal) instead of opening a hundred million keys.
uintptr_t FirstHandle() {
    const char* text = std::getenv("KARDO_TEST_REGISTRY_FIRST_HANDLE");
    if (!text || !*text) return kFirstHandle;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 16);
    if (*end != '\0' || value < kFirstHandle || value >= kHandleLimit || value % kHandleStep != 0)
        return kFirstHandle;
    return static_cast<uintptr_t>(value);
}

struct StoreState {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<StoreDatabase>> databases;  // by file
    std::unordered_map<uintptr_t, KeyRef> handles;
    uintptr_t next_handle = FirstHandle();
};

StoreState& State() {
    static StoreState state;
    return state;
}

REGSAM EffectiveAccess(REGSAM desired) {
    if (desired & (kGenericAll | kMaximumAllowed)) desired |= KEY_ALL_ACCESS;
    if (desired & kGenericRead) desired |= KEY_READ;
    if (desired & kGenericWrite) desired |= KEY_WRITE;
    return desired & KEY_ALL_ACCESS;
}

// The database and key behind a handle. Called with the state locked.
LONG Resolve(StoreState& state, HKEY hKey, KeyRef& ref) {
    StoreLocation location;
    if (LocateRootStore(hKey, location)) {
        auto found = state.databases.find(location.file);
        if (found != state.databases.end()) {
            ref = KeyRef{found->second, kRootKeyId, KEY_ALL_ACCESS};
            return ERROR_SUCCESS;
        }
        std::shared_ptr<StoreDatabase> database;
        const LONG result =
            StoreDatabase::Open(location.folder, location.file, location.per_user, database);
        if (result != ERROR_SUCCESS) return result;  // not kept: the next call tries again
        if (!database->IsStandIn()) state.databases.emplace(location.file, database);
        ref = KeyRef{std::move(database), kRootKeyId, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    auto found = state.handles.find(reinterpret_cast<uintptr_t>(hKey));
    if (found == state.handles.end()) return ERROR_INVALID_HANDLE;
    ref = found->second;
    return ERROR_SUCCESS;
}

// Splits "a\b\c" into its key names. One trailing backslash is allowed; a
// leading one or an empty name between two is not.
LONG SplitPath(LPCSTR path, std::vector<std::string_view>& names) {
    names.clear();
    if (!path || !*path) return ERROR_SUCCESS;
    std::string_view rest(path);
    if (rest.back() == '\\') rest.remove_suffix(1);
    while (true) {
        const size_t end = rest.find('\\');
        const std::string_view name = rest.substr(0, end);
        if (name.empty()) return ERROR_BAD_PATHNAME;
        names.push_back(name);
        if (end == std::string_view::npos) return ERROR_SUCCESS;
        rest.remove_prefix(end + 1);
    }
}

HKEY NewHandle(StoreState& state, KeyRef ref) {
    auto advance = [&state] {
        state.next_handle += kHandleStep;
        if (state.next_handle >= kHandleLimit) state.next_handle = kFirstHandle;
    };
    while (state.handles.count(state.next_handle)) advance();
    const uintptr_t value = state.next_handle;
    advance();
    state.handles.emplace(value, std::move(ref));
    return reinterpret_cast<HKEY>(value);
}

// Runs use(state, ref) with the store locked and hKey resolved. Answers
// ERROR_ACCESS_DENIED first when the handle holds none of the rights in
// needed (0: no right is asked for).
template <class Use>
LONG WithKey(HKEY hKey, REGSAM needed, Use use) {
    StoreState& state = State();
    std::lock_guard lock(state.mutex);
    KeyRef ref;
    const LONG code = Resolve(state, hKey, ref);
    if (code != ERROR_SUCCESS) return code;
    if (needed && !(ref.access & needed)) return ERROR_ACCESS_DENIED;
    return use(state, ref);
}

std::string_view ValueName(LPCSTR name) { return name ? std::string_view(name) : std::string_view(); }

// Copies text into a caller's buffer of *capacity characters (with the
// terminating zero); on return *capacity is the length without it.
LONG CopyName(const std::string& text, LPSTR buffer, LPDWORD capacity) {
    if (!buffer || !capacity) return ERROR_INVALID_PARAMETER;
    if (*capacity <= text.size()) return ERROR_MORE_DATA;
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    *capacity = static_cast<DWORD>(text.size());
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace kardo::registry

using namespace kardo::registry;

LONG RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD, REGSAM samDesired, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::string_view> names;
    const LONG code = SplitPath(subKey, names);
    if (code != ERROR_SUCCESS) return code;
    return WithKey(hKey, 0, [&](StoreState& state, const KeyRef& ref) {
        int64_t id = 0;
        const LONG found = ref.database->FindKey(ref.id, names, id);
        if (found != ERROR_SUCCESS) return found;
        *result = NewHandle(state, KeyRef{ref.database, id, EffectiveAccess(samDesired)});
        return ERROR_SUCCESS;
    });
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                     const void*, PHKEY result, LPDWORD disposition) {
    if (!result || !subKey) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::vector<std::string_view> names;
    const LONG code = SplitPath(subKey, names);
    if (code != ERROR_SUCCESS) return code;
    return WithKey(hKey, 0, [&](StoreState& state, const KeyRef& ref) {
        int64_t id = 0;
        bool created = false;
        const LONG made = ref.database->CreateKey(ref.id, names, (ref.access & KEY_CREATE_SUB_KEY) != 0,
                                                  id, created);
        if (made != ERROR_SUCCESS) return made;
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *result = NewHandle(state, KeyRef{ref.database, id, EffectiveAccess(samDesired)});
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD cbData) {
    if (data && !cbData) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_QUERY_VALUE, [&](StoreState&, const KeyRef& ref) {
        return ref.database->QueryValue(ref.id, ValueName(valueName), type, data, cbData);
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD cbData) {
    if (!data && cbData) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_SET_VALUE, [&](StoreState&, const KeyRef& ref) {
        return ref.database->SetValue(ref.id, ValueName(valueName), type, data, cbData);
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR valueName) {
    return WithKey(hKey, KEY_SET_VALUE, [&](StoreState&, const KeyRef& ref) {
        return ref.database->DeleteValue(ref.id, ValueName(valueName));
    });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    std::vector<std::string_view> names;
    const LONG code = SplitPath(subKey, names);
    if (code != ERROR_SUCCESS) return code;
    return WithKey(hKey, kAnyWrite, [&](StoreState&, const KeyRef& ref) {
        int64_t id = 0;
        const LONG found = ref.database->FindKey(ref.id, names, id);
        if (found != ERROR_SUCCESS) return found;
        return ref.database->DeleteKey(id);
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (IsPredefinedKey(hKey)) return ERROR_SUCCESS;
    StoreState& state = State();
    std::shared_ptr<StoreDatabase> last_use;  // released after the lock
    std::lock_guard lock(state.mutex);
    auto found = state.handles.find(reinterpret_cast<uintptr_t>(hKey));
    if (found == state.handles.end()) return ERROR_INVALID_HANDLE;
    last_use = std::move(found->second.database);
    state.handles.erase(found);
    return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD index, LPSTR name, LPDWORD cchName, LPDWORD,
                   LPSTR keyClass, LPDWORD cchClass, PFILETIME lastWriteTime) {
    if (!name || !cchName) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_ENUMERATE_SUB_KEYS, [&](StoreState&, const KeyRef& ref) {
        std::string text;
        LONG code = ref.database->EnumKey(ref.id, index, text);
        if (code != ERROR_SUCCESS) return code;
        code = CopyName(text, name, cchName);
        if (code != ERROR_SUCCESS) return code;
        if (keyClass && cchClass && *cchClass) keyClass[0] = '\0';
        if (cchClass) *cchClass = 0;
        if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
        return LONG{ERROR_SUCCESS};
    });
}

LONG RegEnumValueA(HKEY hKey, DWORD index, LPSTR valueName, LPDWORD cchValueName, LPDWORD,
                   LPDWORD type, LPBYTE data, LPDWORD cbData) {
    if (!valueName || !cchValueName || (data && !cbData)) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_QUERY_VALUE, [&](StoreState&, const KeyRef& ref) {
        std::string text;
        DWORD stored_type = 0;
        std::vector<BYTE> bytes;
        LONG code = ref.database->EnumValue(ref.id, index, text, stored_type, bytes);
        if (code != ERROR_SUCCESS) return code;
        code = CopyName(text, valueName, cchValueName);
        if (code != ERROR_SUCCESS) return code;
        if (type) *type = stored_type;
        return CopyValueData(bytes.data(), static_cast<DWORD>(bytes.size()), data, cbData);
    });
}
