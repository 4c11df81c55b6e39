#include <kardo/registry.h>

#include <cstring>
#include <type_traits>
#include <utility>

namespace {

// Values are read through a buffer of this size, as the store's callers expect.
constexpr DWORD kReadBufferSize = 4096;
constexpr DWORD kRectangleBufferSize = 30;
constexpr DWORD kPointBufferSize = 22;

// The status the rectangle and point operations leave, whatever the value.
constexpr DWORD kRectangleStatusType = 1;
constexpr DWORD kRectangleReadSize = 16;
constexpr DWORD kPointStatusType = 2;
constexpr DWORD kPointReadSize = 8;

void PutDword(BYTE* out, DWORD value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(value >> (8 * i));
}

DWORD GetDword(const BYTE* in) {
    return DWORD{in[0]} | DWORD{in[1]} << 8 | DWORD{in[2]} << 16 | DWORD{in[3]} << 24;
}

CArchive RecordArchive(DWORD first, DWORD second, DWORD third, DWORD fourth) {
    CDWordArray elements{first, second, third, fourth, 0};
    CArchive ar;
    ::Serialize(ar, elements);
    return ar;
}

}  // namespace

CRegistry::CRegistry(HKEY hRootKey) : m_hKey(hRootKey) {}

CRegistry::~CRegistry() {
    if (m_hKey) RegCloseKey(m_hKey);
}

int CRegistry::SetStatus(LONG result, DWORD type, DWORD size) {
    m_lLastResult = result;
    m_dwLastType = type;
    m_dwLastSize = size;
    return result == ERROR_SUCCESS ? 1 : 0;
}

// A query reports type and size when it found the value (a buffer too small
// still tells the size needed); otherwise there is nothing to report.
int CRegistry::SetQueryStatus(LONG result, DWORD type, DWORD size) {
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) return SetStatus(result, type, size);
    return SetStatus(result, 0, 0);
}

// The object owns its key: a key it replaces is closed (a predefined root key
// is not a handle of its own, closing it does nothing).
void CRegistry::ReplaceKey(HKEY hKey) {
    if (m_hKey && m_hKey != hKey) RegCloseKey(m_hKey);
    m_hKey = hKey;
}

int CRegistry::Open(HKEY hRootKey, LPCSTR pszPath, REGSAM samDesired) {
    m_sPath = pszPath ? pszPath : "";
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(hRootKey, pszPath, 0, samDesired, &opened);
    ReplaceKey(opened);
    return SetStatus(result, 0, 0);
}

int CRegistry::CreateKey(HKEY hRootKey, LPCSTR pszPath, REGSAM samDesired) {
    HKEY created = nullptr;
    const LONG result = RegCreateKeyExA(hRootKey, pszPath ? pszPath : "", 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, samDesired, nullptr, &created,
                                        nullptr);
    ReplaceKey(created);
    return SetStatus(result, 0, 0);
}

int CRegistry::VerifyKey(HKEY hRootKey, LPCSTR pszPath, REGSAM samDesired) {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(hRootKey, pszPath, 0, samDesired, &opened);
    ReplaceKey(opened);
    if (result == ERROR_SUCCESS) return 1;
    return SetStatus(result, 0, 0);
}

int CRegistry::VerifyKey(LPCSTR pszPath, REGSAM samDesired) {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExA(m_hKey, pszPath, 0, samDesired, &opened);
    ReplaceKey(opened);
    return SetStatus(result, 0, 0);
}

void CRegistry::Close() {
    if (m_hKey) RegCloseKey(m_hKey);
    m_hKey = nullptr;
}

int CRegistry::VerifyValue(LPCSTR pszValue) {
    return SetStatus(RegQueryValueExA(m_hKey, pszValue, nullptr, nullptr, nullptr, nullptr), 0, 0);
}

int CRegistry::Read(LPCSTR pszValue, std::string& sText) {
    char buffer[kReadBufferSize];
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG result =
        RegQueryValueExA(m_hKey, pszValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    // The text ends at the first zero byte or at the end of the value.
    if (result == ERROR_SUCCESS) sText.assign(buffer, strnlen(buffer, size));
    return SetQueryStatus(result, type, size);
}

int CRegistry::Read(LPCSTR pszValue, DWORD& dwValue) {
    BYTE bytes[4] = {0, 0, 0, 0};
    DWORD type = 0;
    DWORD size = sizeof bytes;
    const LONG result = RegQueryValueExA(m_hKey, pszValue, nullptr, &type, bytes, &size);
    if (result == ERROR_SUCCESS) dwValue = GetDword(bytes);
    return SetQueryStatus(result, type, size);
}

int CRegistry::Read(LPCSTR pszValue, int& nValue) {
    DWORD value = 0;
    const int ok = Read(pszValue, value);
    if (ok) nValue = static_cast<int>(value);
    return ok;
}

LONG CRegistry::QueryBinary(LPCSTR pszValue, std::vector<uint8_t>& buffer, DWORD& type) {
    DWORD size = static_cast<DWORD>(buffer.size());
    type = 0;
    const LONG result = RegQueryValueExA(m_hKey, pszValue, nullptr, &type, buffer.data(), &size);
    SetQueryStatus(result, type, size);
    if (result == ERROR_SUCCESS) buffer.resize(size);
    return result;
}

// Loads into a fresh collection and hands it over only when the whole value
// loaded, so corrupt data leaves the caller's collection as it was.
template <class Collection>
int CRegistry::ReadCollection(LPCSTR pszValue, Collection& collection) {
    std::vector<uint8_t> buffer(kReadBufferSize);
    DWORD type = 0;
    if (QueryBinary(pszValue, buffer, type) != ERROR_SUCCESS) return 0;
    if (type != REG_BINARY) return 1;
    Collection loaded;
    CArchive ar(buffer.data(), buffer.size());
    ::Serialize(ar, loaded);
    // An array keeps its number of elements; a string list takes the stored ones.
    if constexpr (!std::is_same_v<Collection, CStringList>) loaded.resize(collection.size());
    collection = std::move(loaded);
    return 1;
}

int CRegistry::Read(LPCSTR pszValue, CStringList& list) {
    return ReadCollection(pszValue, list);
}

int CRegistry::Read(LPCSTR pszValue, CByteArray& array) {
    return ReadCollection(pszValue, array);
}

int CRegistry::Read(LPCSTR pszValue, CWordArray& array) {
    return ReadCollection(pszValue, array);
}

int CRegistry::Read(LPCSTR pszValue, CDWordArray& array) {
    return ReadCollection(pszValue, array);
}

int CRegistry::Read(LPCSTR pszValue, CStringArray& array) {
    return ReadCollection(pszValue, array);
}

LONG CRegistry::ReadRecord(LPCSTR pszValue, DWORD bufferSize, bool& loaded,
                           CDWordArray& elements) {
    std::vector<uint8_t> buffer(bufferSize);
    DWORD type = 0;
    DWORD size = bufferSize;
    loaded = false;
    const LONG result = RegQueryValueExA(m_hKey, pszValue, nullptr, &type, buffer.data(), &size);
    if (result != ERROR_SUCCESS || type != REG_BINARY) return result;
    CArchive ar(buffer.data(), size);
    ::Serialize(ar, elements);
    loaded = true;
    return result;
}

int CRegistry::Read(LPCSTR pszValue, RECT* const& pRect) {
    if (!pRect) return SetStatus(ERROR_INVALID_PARAMETER, kRectangleStatusType, kRectangleReadSize);
    bool loaded = false;
    CDWordArray elements;
    const LONG result = ReadRecord(pszValue, kRectangleBufferSize, loaded, elements);
    SetStatus(result, kRectangleStatusType, kRectangleReadSize);
    if (!loaded) return result == ERROR_SUCCESS ? 1 : 0;
    if (elements.size() < 4) throw CInvalidArgException();
    pRect->top = static_cast<LONG>(elements[0]);
    pRect->bottom = static_cast<LONG>(elements[1]);
    pRect->left = static_cast<LONG>(elements[2]);
    pRect->right = static_cast<LONG>(elements[3]);
    return 1;
}

int CRegistry::Read(LPCSTR pszValue, POINT* const& pPoint) {
    if (!pPoint) return SetStatus(ERROR_INVALID_PARAMETER, kPointStatusType, kPointReadSize);
    bool loaded = false;
    CDWordArray elements;
    const LONG result = ReadRecord(pszValue, kPointBufferSize, loaded, elements);
    SetStatus(result, kPointStatusType, kPointReadSize);
    if (!loaded) return result == ERROR_SUCCESS ? 1 : 0;
    if (elements.size() < 2) throw CInvalidArgException();
    pPoint->x = static_cast<LONG>(elements[0]);
    pPoint->y = static_cast<LONG>(elements[1]);
    return 1;
}

int CRegistry::Write(LPCSTR pszValue, int nValue) {
    BYTE bytes[4];
    PutDword(bytes, static_cast<DWORD>(nValue));
    return SetStatus(RegSetValueExA(m_hKey, pszValue, 0, REG_DWORD, bytes, 4), REG_DWORD, 4);
}

LONG CRegistry::Write(LPCSTR pszValue, DWORD dwValue) {
    BYTE bytes[4];
    PutDword(bytes, dwValue);
    return RegSetValueExA(m_hKey, pszValue, 0, REG_DWORD, bytes, 4);
}

int CRegistry::Write(LPCSTR pszValue, LPCSTR pszText) {
    if (!pszText) return SetStatus(ERROR_INVALID_PARAMETER, REG_SZ, 0);
    const DWORD size = static_cast<DWORD>(std::strlen(pszText) + 1);
    return SetStatus(
        RegSetValueExA(m_hKey, pszValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText), size),
        REG_SZ, size);
}

int CRegistry::WriteBinary(LPCSTR pszValue, const CArchive& ar, DWORD statusType) {
    const std::vector<uint8_t>& bytes = ar.GetStoredBytes();
    const DWORD size = static_cast<DWORD>(bytes.size());
    return SetStatus(RegSetValueExA(m_hKey, pszValue, 0, REG_BINARY, bytes.data(), size),
                     statusType, size);
}

// Storing leaves a collection as it is; Serialize takes it by reference
// because the same operation also loads.
template <class Collection> static CArchive StoredArchive(const Collection& collection) {
    CArchive ar;
    Serialize(ar, const_cast<Collection&>(collection));
    return ar;
}

int CRegistry::Write(LPCSTR pszValue, const CByteArray& array) {
    return WriteBinary(pszValue, StoredArchive(array), REG_BINARY);
}

int CRegistry::Write(LPCSTR pszValue, const CWordArray& array) {
    return WriteBinary(pszValue, StoredArchive(array), REG_BINARY);
}

int CRegistry::Write(LPCSTR pszValue, const CDWordArray& array) {
    return WriteBinary(pszValue, StoredArchive(array), REG_BINARY);
}

int CRegistry::Write(LPCSTR pszValue, const CStringArray& array) {
    return WriteBinary(pszValue, StoredArchive(array), REG_BINARY);
}

int CRegistry::Write(LPCSTR pszValue, const CStringList& list) {
    return WriteBinary(pszValue, StoredArchive(list), REG_BINARY);
}

int CRegistry::Write(LPCSTR pszValue, const RECT* pRect) {
    if (!pRect) return SetStatus(ERROR_INVALID_PARAMETER, kRectangleStatusType, 0);
    const CArchive ar =
        RecordArchive(static_cast<DWORD>(pRect->top), static_cast<DWORD>(pRect->bottom),
                      static_cast<DWORD>(pRect->left), static_cast<DWORD>(pRect->right));
    return WriteBinary(pszValue, ar, kRectangleStatusType);
}

int CRegistry::Write(LPCSTR pszValue, POINT* const& pPoint) {
    if (!pPoint) return SetStatus(ERROR_INVALID_PARAMETER, kPointStatusType, 0);
    const CArchive ar =
        RecordArchive(static_cast<DWORD>(pPoint->x), static_cast<DWORD>(pPoint->y), 0, 0);
    return WriteBinary(pszValue, ar, kPointStatusType);
}

int CRegistry::DeleteValue(LPCSTR pszValue) {
    return SetStatus(RegDeleteValueA(m_hKey, pszValue), 0, 0);
}

int CRegistry::DeleteValueKey(HKEY hRootKey, LPCSTR pszPath) {
    return SetStatus(RegDeleteKeyA(hRootKey, pszPath), 0, 0);
}
