#ifndef KARDO_REGISTRY_H
#define KARDO_REGISTRY_H

/* CRegistry: one open key of the settings store (see <kardo/registry_store.h>
 * for where the store lives and the KARDO_REGISTRY_DIR variable) and typed
 * values under it: strings, 32-bit numbers, the framework's collections,
 * rectangles and points. Collections, rectangles and points are REG_BINARY
 * values in the archive format of <kardo/archive.h>; a rectangle is the
 * double-word array {top, bottom, left, right, 0}, a point {x, y, 0, 0, 0}.
 *
 * Operations return 1 on success and 0 on failure (Write of a DWORD returns
 * the result code itself) and leave the result code, the value type and the
 * data size of their store call in the three public status fields. Values
 * are read through a 4096-byte buffer: longer strings and collections give
 * 0 with ERROR_MORE_DATA (234), although they are written in full.
 *
 * One object belongs to one thread; the store itself may be shared by any
 * number of threads and processes. */
#include <kardo/archive.h>
#include <kardo/export.h>
#include <kardo/object.h>
#include <kardo/registry_store.h>

#include <string>

#ifndef KARDO_WINDOWS_GEOMETRY_TYPES
#define KARDO_WINDOWS_GEOMETRY_TYPES
typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;
#endif

class KARDO_API CRegistry : public CObject {
public:
    /* Works on hRootKey until a key is opened; no store call. */
    explicit CRegistry(HKEY hRootKey = HKEY_LOCAL_MACHINE);
    ~CRegistry() override;
    CRegistry(const CRegistry&) = delete;
    CRegistry& operator=(const CRegistry&) = delete;

    /* Open an existing key, or create the path, below hRootKey. The path is
     * remembered by Open. A key the object held before is closed first; after
     * a failure the object holds no key. */
    int Open(HKEY hRootKey, LPCSTR pszPath, REGSAM samDesired);
    int CreateKey(HKEY hRootKey, LPCSTR pszPath, REGSAM samDesired);
    /* Like Open, but a success leaves the last result as it was. */
    int VerifyKey(HKEY hRootKey, LPCSTR pszPath, REGSAM samDesired);
    /* Descends into the sub-key pszPath of the current key. */
    int VerifyKey(LPCSTR pszPath, REGSAM samDesired);
    /* Releases the key; the status fields stay as they are. */
    void Close();

    /* 1 when the value exists. */
    int VerifyValue(LPCSTR pszValue);

    /* The value's bytes as text up to the first zero byte, whatever its type. */
    int Read(LPCSTR pszValue, std::string& sText);
    /* The value's first four bytes (fewer bytes are padded with zeros),
     * whatever its type; values longer than four bytes give ERROR_MORE_DATA. */
    int Read(LPCSTR pszValue, int& nValue);
    int Read(LPCSTR pszValue, DWORD& dwValue);
    /* Collections: a REG_BINARY value is loaded; values of other types leave
     * the collection as it was and still give 1. An array keeps the number of
     * elements it had before the call (extra stored elements are dropped,
     * missing ones are zero or empty); a string list takes the stored strings.
     * Corrupt data throws CArchiveException and leaves the collection alone. */
    int Read(LPCSTR pszValue, CStringList& list);
    int Read(LPCSTR pszValue, CByteArray& array);
    int Read(LPCSTR pszValue, CWordArray& array);
    int Read(LPCSTR pszValue, CDWordArray& array);
    int Read(LPCSTR pszValue, CStringArray& array);
    /* Rectangles and points: a stored record with fewer than four (two)
     * elements throws CInvalidArgException. Status afterwards: 1 / 16 for a
     * rectangle and 2 / 8 for a point. */
    int Read(LPCSTR pszValue, RECT* const& pRect);
    int Read(LPCSTR pszValue, POINT* const& pPoint);

    /* REG_DWORD; status 4 / 4. */
    int Write(LPCSTR pszValue, int nValue);
    /* REG_DWORD; returns the result code (0 = success), status unchanged. */
    LONG Write(LPCSTR pszValue, DWORD dwValue);
    /* REG_SZ with the terminating zero; status 1 / length + 1. */
    int Write(LPCSTR pszValue, LPCSTR pszText);
    /* REG_BINARY archives; status 3 / archive length. */
    int Write(LPCSTR pszValue, const CByteArray& array);
    int Write(LPCSTR pszValue, const CWordArray& array);
    int Write(LPCSTR pszValue, const CDWordArray& array);
    int Write(LPCSTR pszValue, const CStringArray& array);
    int Write(LPCSTR pszValue, const CStringList& list);
    /* REG_BINARY records of 22 bytes; status 1 / 22 (rectangle), 2 / 22 (point). */
    int Write(LPCSTR pszValue, const RECT* pRect);
    int Write(LPCSTR pszValue, POINT* const& pPoint);

    int DeleteValue(LPCSTR pszValue);
    /* Deletes the key pszPath below hRootKey (not a value), only when it has
     * no sub-keys. */
    int DeleteValueKey(HKEY hRootKey, LPCSTR pszPath);

    HKEY GetKey() const { return m_hKey; }
    const std::string& GetPath() const { return m_sPath; }

    /* Status of the last store call. */
    LONG m_lLastResult = ERROR_SUCCESS;
    DWORD m_dwLastType = 0;
    DWORD m_dwLastSize = 0;

protected:
    HKEY m_hKey;
    std::string m_sPath;

private:
    int SetStatus(LONG result, DWORD type, DWORD size);
    int SetQueryStatus(LONG result, DWORD type, DWORD size);
    void ReplaceKey(HKEY hKey);
    int WriteBinary(LPCSTR pszValue, const CArchive& ar, DWORD statusType);
    LONG QueryBinary(LPCSTR pszValue, std::vector<uint8_t>& buffer, DWORD& type);
    template <class Collection> int ReadCollection(LPCSTR pszValue, Collection& collection);
    LONG ReadRecord(LPCSTR pszValue, DWORD bufferSize, bool& loaded, CDWordArray& elements);
};

#endif
