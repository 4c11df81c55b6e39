// kardo-reg: looks into and edits the settings store of libkardo from the
// command line: list keys and values with their types, print one value,
// write a string, a number or bytes, delete values and keys.
#include <kardo/registry_store.h>

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitStoreError = 1;
constexpr int kExitUsage = 2;
constexpr size_t kListedBytes = 32;  // binary values in listings are cut after this

const char kUsage[] =
    "Usage: kardo-reg COMMAND ARGUMENTS\n"
    "\n"
    "Commands:\n"
    "  list [-r] KEY                 values and sub-keys of KEY (-r: all below it)\n"
    "  get KEY [NAME]                print one value (no NAME: the default value)\n"
    "  set KEY NAME TYPE DATA        write a value, creating KEY when missing;\n"
    "                                TYPE sz (text), dword (0 to 4294967295, or\n"
    "                                negative, decimal or 0x hex) or hex (bytes\n"
    "                                as hex digits, optionally separated by\n"
    "                                spaces, commas or colons)\n"
    "  delete KEY NAME               delete a value\n"
    "  create KEY                    create a key and the keys above it\n"
    "  delete-key [-r] KEY           delete a key without sub-keys (-r: with\n"
    "                                everything below it)\n"
    "  help, -h, --help              show this help\n"
    "\n"
    "-r may also be written --recursive.\n"
    "\n"
    "KEY starts with a root key, HKEY_CURRENT_USER (HKCU), HKEY_LOCAL_MACHINE\n"
    "(HKLM), HKEY_CLASSES_ROOT (HKCR), HKEY_USERS (HKU) or HKEY_CURRENT_CONFIG\n"
    "(HKCC), followed by backslash-separated key names, e.g.\n"
    "  kardo-reg set 'HKCU\\Software\\Quellwerk\\Demo' Port dword 3000\n"
    "\n"
    "Exit codes: 0 success, 1 the store refused the operation, 2 usage error.\n"
    "\n"
    "The store lives in ~/.config/kardo/registry (HKCU) and /var/lib/kardo/registry\n"
    "(the other root keys); KARDO_REGISTRY_DIR points all of them at one folder.\n";

struct RootName {
    const char* full;
    const char* abbreviation;
    HKEY key;
};

const RootName kRoots[] = {
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
};

const char* ResultText(LONG result) {
    switch (result) {
    case ERROR_FILE_NOT_FOUND: return "no such key or value";
    case ERROR_ACCESS_DENIED: return "access denied (read-only, or the key has sub-keys)";
    case ERROR_INVALID_HANDLE: return "invalid key handle";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return "not enough memory";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_DISK_FULL: return "disk full";
    case ERROR_BAD_PATHNAME: return "invalid key path (empty key name)";
    case ERROR_BUSY: return "the store is busy in another process";
    case ERROR_MORE_DATA: return "data larger than the buffer";
    case ERROR_BADDB: return "the store file is not a database";
    case ERROR_CANTOPEN: return "the store file can not be opened";
    case ERROR_REGISTRY_CORRUPT: return "the store database is damaged";
    case ERROR_REGISTRY_IO_FAILED: return "reading or writing the store file failed";
    case ERROR_KEY_DELETED: return "the key was deleted";
    default: return "store error";
    }
}

int Fail(const std::string& what, LONG result) {
    std::fprintf(stderr, "kardo-reg: %s: %s (%ld)\n", what.c_str(), ResultText(result),
                 static_cast<long>(result));
    return kExitStoreError;
}

int Usage(const char* problem) {
    if (problem) std::fprintf(stderr, "kardo-reg: %s\n\n", problem);
    std::fputs(kUsage, problem ? stderr : stdout);
    return problem ? kExitUsage : 0;
}

// "HKCU\Software\X" -> root key and "Software\X"; the root name is matched
// without regard to case.
bool SplitKey(const std::string& text, HKEY& root, std::string& path, std::string& root_name) {
    const size_t slash = text.find('\\');
    const std::string head = text.substr(0, slash);
    for (const RootName& candidate : kRoots) {
        if (strcasecmp(head.c_str(), candidate.full) == 0 ||
            strcasecmp(head.c_str(), candidate.abbreviation) == 0) {
            root = candidate.key;
            root_name = candidate.full;
            path = slash == std::string::npos ? std::string() : text.substr(slash + 1);
            return true;
        }
    }
    return false;
}

class OpenKey {
public:
    ~OpenKey() {
        if (key) RegCloseKey(key);
    }
    HKEY key = nullptr;
};

const char* TypeName(DWORD type) {
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return nullptr;
    }
}

std::string HexBytes(const std::vector<BYTE>& data, size_t limit) {
    std::string text;
    char digits[4];
    for (size_t i = 0; i < data.size() && i < limit; ++i) {
        std::snprintf(digits, sizeof digits, i ? " %02x" : "%02x", data[i]);
        text += digits;
    }
    if (data.size() > limit) text += " ... (" + std::to_string(data.size()) + " bytes)";
    return text;
}

uint32_t LittleEndianDword(const std::vector<BYTE>& data) {
    return uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
           uint32_t{data[3]} << 24;
}

// Text up to the first zero byte.
std::string TextOf(const std::vector<BYTE>& data) {
    size_t length = 0;
    while (length < data.size() && data[length]) ++length;
    return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
}

std::string Shown(DWORD type, const std::vector<BYTE>& data, bool listing) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) return TextOf(data);
    if (type == REG_DWORD && data.size() == 4) {
        const uint32_t value = LittleEndianDword(data);
        if (!listing) return std::to_string(value);
        char text[40];
        std::snprintf(text, sizeof text, "0x%08" PRIx32 " (%" PRIu32 ")", value, value);
        return text;
    }
    return HexBytes(data, listing ? kListedBytes : SIZE_MAX);
}

LONG QueryValue(HKEY key, const char* name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    // The value may grow between the two calls: ask again until it fits.
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        data.resize(size);
        result = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
        if (result == ERROR_SUCCESS) {
            data.resize(size);
            return result;
        }
    }
    return result;
}

LONG ListKey(HKEY key, const std::string& shown_path, bool recursive) {
    std::printf("%s\n", shown_path.c_str());
    std::vector<char> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD name_size = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LONG result =
            RegEnumValueA(key, index, name.data(), &name_size, nullptr, &type, nullptr, &size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) return result;
        std::vector<BYTE> data;
        result = QueryValue(key, name.data(), type, data);
        if (result != ERROR_SUCCESS) return result;
        const char* type_name = TypeName(type);
        const std::string type_text =
            type_name ? type_name : "REG_TYPE_" + std::to_string(type);
        std::printf("    %s    %s    %s\n", name_size ? name.data() : "(Default)",
                    type_text.c_str(), Shown(type, data, true).c_str());
    }
    std::vector<std::string> children;
    for (DWORD index = 0;; ++index) {
        DWORD name_size = static_cast<DWORD>(name.size());
        const LONG result = RegEnumKeyExA(key, index, name.data(), &name_size, nullptr, nullptr,
                                          nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) return result;
        children.emplace_back(name.data(), name_size);
    }
    for (const std::string& child : children) {
        const std::string child_path = shown_path + "\\" + child;
        if (!recursive) {
            std::printf("%s\n", child_path.c_str());
            continue;
        }
        OpenKey opened;
        LONG result = RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &opened.key);
        if (result == ERROR_SUCCESS) result = ListKey(opened.key, child_path, true);
        if (result != ERROR_SUCCESS) return result;
    }
    return ERROR_SUCCESS;
}

// Deletes everything below key (not key itself), deepest keys first.
LONG DeleteTree(HKEY key) {
    std::vector<char> name(16384);
    while (true) {
        DWORD name_size = static_cast<DWORD>(name.size());
        LONG result = RegEnumKeyExA(key, 0, name.data(), &name_size, nullptr, nullptr, nullptr,
                                    nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (result != ERROR_SUCCESS) return result;
        OpenKey child;
        result = RegOpenKeyExA(key, name.data(), 0, KEY_ALL_ACCESS, &child.key);
        if (result == ERROR_SUCCESS) result = DeleteTree(child.key);
        if (result == ERROR_SUCCESS) result = RegDeleteKeyA(key, name.data());
        if (result != ERROR_SUCCESS) return result;
    }
}

bool ParseDword(const char* text, uint32_t& value) {
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text, &end, 0);
    if (errno || end == text || *end || number < INT32_MIN || number > UINT32_MAX) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool ParseHex(const char* text, std::vector<BYTE>& bytes) {
    std::string digits;
    for (const char* c = text; *c; ++c) {
        if (*c == ' ' || *c == ',' || *c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(*c))) return false;
        digits += *c;
    }
    if (digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage("no command given");
    const std::string_view command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") return Usage(nullptr);

    std::vector<const char*> args(argv + 2, argv + argc);
    bool recursive = false;
    if (!args.empty() && (std::strcmp(args[0], "-r") == 0 ||
                          std::strcmp(args[0], "--recursive") == 0)) {
        if (command != "list" && command != "delete-key")
            return Usage("-r applies to list and delete-key only");
        recursive = true;
        args.erase(args.begin());
    }
    if (args.empty()) return Usage("no key given");

    HKEY root = nullptr;
    std::string path;
    std::string root_name;
    if (!SplitKey(args[0], root, path, root_name))
        return Usage(("not a key (it must start with a root key): " + std::string(args[0])).c_str());
    const std::string shown = path.empty() ? root_name : root_name + "\\" + path;
    const size_t expected = command == "list" || command == "create" || command == "delete-key"
                                ? 1
                            : command == "get"    ? (args.size() == 1 ? 1 : 2)
                            : command == "delete" ? 2
                            : command == "set"    ? 4
                                                  : 0;
    if (expected == 0) return Usage(("unknown command: " + std::string(command)).c_str());
    if (args.size() != expected) return Usage("wrong number of arguments");

    OpenKey key;
    LONG result = ERROR_SUCCESS;
    if (command == "list") {
        result = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key.key);
        if (result == ERROR_SUCCESS) result = ListKey(key.key, shown, recursive);
        return result == ERROR_SUCCESS ? 0 : Fail(shown, result);
    }
    if (command == "get") {
        const char* name = args.size() > 1 ? args[1] : "";
        result = RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key.key);
        DWORD type = 0;
        std::vector<BYTE> data;
        if (result == ERROR_SUCCESS) result = QueryValue(key.key, name, type, data);
        if (result != ERROR_SUCCESS) return Fail(shown + "\\" + name, result);
        const std::string text = Shown(type, data, false);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    if (command == "set") {
        const char* name = args[1];
        const std::string type = args[2];
        const char* data = args[3];
        std::vector<BYTE> bytes;
        DWORD value_type = REG_NONE;
        if (type == "sz" || strcasecmp(type.c_str(), "REG_SZ") == 0) {
            value_type = REG_SZ;
            bytes.assign(data, data + std::strlen(data) + 1);
        } else if (type == "dword" || strcasecmp(type.c_str(), "REG_DWORD") == 0) {
            uint32_t number = 0;
            if (!ParseDword(data, number))
                return Usage(("not a 32-bit number: " + std::string(data)).c_str());
            value_type = REG_DWORD;
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(number >> (8 * i)));
        } else if (type == "hex" || strcasecmp(type.c_str(), "REG_BINARY") == 0) {
            if (!ParseHex(data, bytes))
                return Usage(("not pairs of hex digits: " + std::string(data)).c_str());
            value_type = REG_BINARY;
        } else {
            return Usage(("unknown type (sz, dword or hex): " + type).c_str());
        }
        result = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_WRITE, nullptr, &key.key, nullptr);
        if (result == ERROR_SUCCESS)
            result = RegSetValueExA(key.key, name, 0, value_type, bytes.data(),
                                    static_cast<DWORD>(bytes.size()));
        return result == ERROR_SUCCESS ? 0 : Fail(shown + "\\" + name, result);
    }
    if (command == "delete") {
        result = RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key.key);
        if (result == ERROR_SUCCESS) result = RegDeleteValueA(key.key, args[1]);
        return result == ERROR_SUCCESS ? 0 : Fail(shown + "\\" + args[1], result);
    }
    if (command == "create") {
        result = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_READ, nullptr, &key.key, nullptr);
        return result == ERROR_SUCCESS ? 0 : Fail(shown, result);
    }
    // delete-key
    if (path.empty()) return Usage("a root key can not be deleted");
    if (recursive) {
        result = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key.key);
        if (result == ERROR_SUCCESS) result = DeleteTree(key.key);
        if (result != ERROR_SUCCESS) return Fail(shown, result);
    }
    result = RegDeleteKeyA(root, path.c_str());
    return result == ERROR_SUCCESS ? 0 : Fail(shown, result);
}

}  // namespace

int main(int argc, char** argv) { return Run(argc, argv); }
