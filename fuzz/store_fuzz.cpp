// Store values and archive data from a database someone else wrote: the
// collections, rectangles and points read out of any bytes either load or
// throw the archive's own exceptions, and never read outside the data.
#include <kardo/kardo.h>

#include <cstdlib>
#include <string>

namespace {

template <class Collection>
void LoadFromArchive(const uint8_t* data, size_t size) {
    CArchive archive(data, size);
    Collection collection;
    try {
        Serialize(archive, collection);
    } catch (const CArchiveException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/kardo-store-fuzz-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    setenv("KARDO_REGISTRY_DIR", folder, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    LoadFromArchive<CByteArray>(data, size);
    LoadFromArchive<CWordArray>(data, size);
    LoadFromArchive<CDWordArray>(data, size);
    LoadFromArchive<CStringArray>(data, size);
    LoadFromArchive<CStringList>(data, size);

    // The same bytes as a stored binary value, read back by every reader.
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Fuzz", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        std::abort();
    RegSetValueExA(key, "Value", 0, REG_BINARY, data, static_cast<DWORD>(size));
    RegCloseKey(key);
    CRegistry registry(HKEY_CURRENT_USER);
    if (!registry.Open(HKEY_CURRENT_USER, "Software\\Fuzz", KEY_ALL_ACCESS)) std::abort();
    try {
        std::string text;
        registry.Read("Value", text);
        int number = 0;
        registry.Read("Value", number);
        CStringList list;
        registry.Read("Value", list);
        CByteArray bytes(3);
        registry.Read("Value", bytes);
        CWordArray words(2);
        registry.Read("Value", words);
        CDWordArray dwords;
        registry.Read("Value", dwords);
        CStringArray strings(1);
        registry.Read("Value", strings);
        RECT rect{};
        RECT* rectangle = &rect;
        registry.Read("Value", rectangle);
        POINT pt{};
        POINT* point = &pt;
        registry.Read("Value", point);
    } catch (const CArchiveException&) {
    } catch (const CInvalidArgException&) {
    }
    return 0;
}
