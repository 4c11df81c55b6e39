#ifndef KARDO_REGISTRY_STORE_H
#define KARDO_REGISTRY_STORE_H

/* The settings store under CRegistry: hierarchical keys below a few root keys,
 * typed values, and the result codes of the Windows registry functions whose
 * names and calling conventions it keeps.
 *
 * Storage: one SQLite database per root key.
 *   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/kardo/registry/HKEY_CURRENT_USER.db
 *                       (~/.config when XDG_CONFIG_HOME is unset or relative)
 *   HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_CONFIG
 *                       /var/lib/kardo/registry/<root key name>.db
 *                       (writable by root only; other users read it)
 * The environment variable KARDO_REGISTRY_DIR, when set and not empty, puts the
 * databases of all root keys into that folder instead (for tests, or a private
 * store). It is read at every call that starts from a root key, so a program
 * may change it between calls; open keys keep the database they were opened in.
 *
 * Every change (a value written or deleted, a key path created, a key deleted)
 * is one SQLite transaction: a crash never leaves half of it behind, and
 * processes that change the same key at once wait for each other (up to ten
 * seconds, then ERROR_BUSY) instead of overwriting each other's values.
 * Per-user stores (and the KARDO_REGISTRY_DIR folder) keep a write-ahead log,
 * so commits do not wait for the disk; the system stores keep a rollback
 * journal, so that users who may only read them can open them.
 *
 * A store file that is not an SQLite database gives ERROR_BADDB and is left
 * as it is. Where the system store does not exist and cannot be created (an
 * ordinary user), it reads as empty: keys are not found, writes are denied.
 *
 * Key and value names compare without regard to ASCII case, as the Windows
 * registry does; a key path separates its keys with backslashes. */
#include <kardo/export.h>

#include <stdint.h>

#ifndef KARDO_WINDOWS_BASE_TYPES
#define KARDO_WINDOWS_BASE_TYPES
typedef uint8_t BYTE;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef char* LPSTR;
typedef const char* LPCSTR;
#endif

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME;

/* Predefined root keys: always open, never closed. */
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)
#define HKEY_CURRENT_CONFIG ((HKEY)(uintptr_t)0x80000005u)

/* Value types. The store keeps any type number; these are the common ones. */
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u

/* Access rights of an open key. A key opened without KEY_SET_VALUE refuses
 * value changes with ERROR_ACCESS_DENIED; creating sub-keys needs
 * KEY_CREATE_SUB_KEY, deleting one needs any write right on the handle. */
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_DELETE_RIGHT 0x00010000u /* DELETE */
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_EXECUTE 0x00020019u
#define KEY_ALL_ACCESS 0x000F003Fu

#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

/* Result codes. */
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2        /* no such key or value */
#define ERROR_ACCESS_DENIED 5         /* read-only key or store, key with sub-keys */
#define ERROR_INVALID_HANDLE 6        /* not an open key */
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_BAD_PATHNAME 161        /* empty key name inside a path */
#define ERROR_BUSY 170                /* another process held the store too long */
#define ERROR_MORE_DATA 234           /* data larger than the buffer */
#define ERROR_NO_MORE_ITEMS 259       /* enumeration past the end */
#define ERROR_BADDB 1009              /* the store file is not a database */
#define ERROR_CANTOPEN 1011           /* the store file cannot be opened */
#define ERROR_REGISTRY_CORRUPT 1015   /* the database is damaged */
#define ERROR_REGISTRY_IO_FAILED 1016 /* reading or writing the file failed */
#define ERROR_KEY_DELETED 1018        /* the open key was deleted meanwhile */

KARDO_BEGIN_C

/* Opens an existing key below hKey (subKey NULL or "" opens hKey itself again). */
KARDO_API LONG RegOpenKeyExA(HKEY hKey, LPCSTR subKey, DWORD options, REGSAM samDesired,
                             PHKEY result);
/* Opens a key below hKey, creating every missing key of the path. The class,
 * options and security arguments are accepted and ignored. */
KARDO_API LONG RegCreateKeyExA(HKEY hKey, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                               DWORD options, REGSAM samDesired, const void* securityAttributes,
                               PHKEY result, LPDWORD disposition);
/* Reads a value. With data NULL only type and size are reported; with a buffer
 * too small the result is ERROR_MORE_DATA and *cbData the size needed. */
KARDO_API LONG RegQueryValueExA(HKEY hKey, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD cbData);
/* Writes a value in full, replacing any value of that name. */
KARDO_API LONG RegSetValueExA(HKEY hKey, LPCSTR valueName, DWORD reserved, DWORD type,
                              const BYTE* data, DWORD cbData);
KARDO_API LONG RegDeleteValueA(HKEY hKey, LPCSTR valueName);
/* Deletes the key subKey below hKey with its values; refused with
 * ERROR_ACCESS_DENIED while it has sub-keys, and for a root key. */
KARDO_API LONG RegDeleteKeyA(HKEY hKey, LPCSTR subKey);
KARDO_API LONG RegCloseKey(HKEY hKey);
/* Enumerate sub-keys and values in name order; ERROR_NO_MORE_ITEMS past the
 * end. Name sizes count characters, on return without the terminating zero.
 * The store keeps no classes and no times: both come back empty. */
KARDO_API LONG RegEnumKeyExA(HKEY hKey, DWORD index, LPSTR name, LPDWORD cchName,
                             LPDWORD reserved, LPSTR keyClass, LPDWORD cchClass,
                             PFILETIME lastWriteTime);
KARDO_API LONG RegEnumValueA(HKEY hKey, DWORD index, LPSTR valueName, LPDWORD cchValueName,
                             LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD cbData);

KARDO_END_C

#endif
