// The store functions under CRegistry: handles, sizes, enumeration, damaged
// files, and several processes changing one key at once.
#include <kardo/kardo.h>

#include "temp_store.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

class StoreTest : public TempStoreTest {
protected:
    HKEY Create(const char* path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  access, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static LONG SetText(HKEY key, const char* name, const std::string& text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static std::string GetText(HKEY key, const char* name) {
        char buffer[256] = {};
        DWORD size = sizeof buffer;
        DWORD type = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS)
            return "<missing>";
        return std::string(buffer);
    }
};

TEST_F(StoreTest, CreateReportsWhetherTheKeyIsNew) {
    DWORD disposition = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\B\\C", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a\\b\\c\\", 0, nullptr, 0, KEY_READ, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(StoreTest, HandlesAreCheckedAndClosedOnce) {
    HKEY key = Create("Software\\Handles");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetText(key, "x", "y"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);  // predefined: nothing to do
    HKEY opened = reinterpret_cast<HKEY>(0x1234);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Missing", 0, KEY_READ, &opened),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(opened, nullptr);
}

TEST_F(StoreTest, BadPathsAreRefused) {
    HKEY key = nullptr;
    for (const char* path : {"\\Lead", "A\\\\B", "\\"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_READ, nullptr, &key,
                                  nullptr),
                  ERROR_BAD_PATHNAME);
    }
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A", 0, nullptr, 0, KEY_READ, nullptr, nullptr,
                              nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(StoreTest, QuerySizesFollowTheBufferContract) {
    HKEY key = Create("Software\\Sizes");
    ASSERT_EQ(SetText(key, "Name", "0123456789"), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 11u);
    BYTE small[4];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, small, nullptr),
              ERROR_INVALID_PARAMETER);
    // An empty value is a value.
    ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, small, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, REG_BINARY);
    RegCloseKey(key);
}

TEST_F(StoreTest, EnumerationListsNamesInOrder) {
    HKEY key = Create("Software\\Enum");
    HKEY child = nullptr;
    for (const char* name : {"beta", "Alpha", "gamma"}) {
        ASSERT_EQ(RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(child);
        ASSERT_EQ(SetText(key, name, std::string("v-") + name), ERROR_SUCCESS);
    }
    std::vector<std::string> keys;
    char name[64];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        const LONG result =
            RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(result, ERROR_SUCCESS);
        EXPECT_EQ(length, std::strlen(name));
        keys.emplace_back(name);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));

    DWORD length = sizeof name;
    DWORD type = 0;
    BYTE data[64];
    DWORD size = sizeof data;
    ASSERT_EQ(RegEnumValueA(key, 2, name, &length, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(name, "gamma");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "v-gamma");
    length = 3;  // too small for "Alpha" and its zero
    EXPECT_EQ(RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);

    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(key, "", 0, KEY_SET_VALUE, &reader), ERROR_SUCCESS);
    length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(reader, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    RegCloseKey(reader);
    RegCloseKey(key);
}

// Data beyond what one value may hold (up to the largest size a DWORD can
// give) is refused as too large and leaves the stored value as it was. The
// data lies in a mapping of zero pages, so no memory is spent on it.
TEST_F(StoreTest, DataTooLargeForOneValueIsRefused) {
    HKEY key = Create("Software\\Large");
    ASSERT_EQ(SetText(key, "v", "kept"), ERROR_SUCCESS);
    const DWORD largest = 0xFFFFFFFFu;
    void* zeros =
        mmap(nullptr, largest, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(zeros, MAP_FAILED);
    for (const DWORD size : {0x40000000u, 0x80000000u, largest}) {
        EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, static_cast<const BYTE*>(zeros), size),
                  ERROR_NOT_ENOUGH_MEMORY)
            << size;
        EXPECT_EQ(GetText(key, "v"), "kept") << size;
    }
    munmap(zeros, largest);
    RegCloseKey(key);
}

TEST_F(StoreTest, OperationsOnADeletedKeyFail) {
    HKEY key = Create("Software\\Gone");
    ASSERT_EQ(SetText(key, "v", "1"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Gone"), ERROR_SUCCESS);
    EXPECT_EQ(SetText(key, "v", "2"), ERROR_KEY_DELETED);
    EXPECT_EQ(GetText(key, "v"), "<missing>");
    // Creating the key again makes a new key, not the deleted one.
    HKEY again = Create("Software\\Gone");
    EXPECT_EQ(GetText(again, "v"), "<missing>");
    EXPECT_EQ(SetText(key, "v", "3"), ERROR_KEY_DELETED);
    RegCloseKey(again);
    RegCloseKey(key);
}

TEST_F(StoreTest, DeletingThroughAReadOnlyHandleIsRefused) {
    HKEY parent = Create("Software\\Parent");
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(parent, "Child", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Parent", 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(reader, "Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
              ERROR_ACCESS_DENIED);
    // Opening an existing sub-key needs no write right.
    ASSERT_EQ(RegCreateKeyExA(reader, "Child", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
    EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_SUCCESS);
    RegCloseKey(reader);
    RegCloseKey(parent);
}

TEST_F(StoreTest, ValuesSurviveInTheFile) {
    HKEY key = Create("Software\\Kept");
    ASSERT_EQ(SetText(key, "v", "persisted"), ERROR_SUCCESS);
    RegCloseKey(key);
    // A second process reads what this one wrote.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HKEY opened = nullptr;
        const bool ok =
            RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kept", 0, KEY_READ, &opened) ==
                ERROR_SUCCESS &&
            GetText(opened, "v") == "persisted";
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    struct stat info {};
    ASSERT_EQ(stat(StoreFile("HKEY_CURRENT_USER").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // settings are the user's own
}

// A child process opens its own connection on its first call. When that
// fails (here: no file descriptor left), the call reports it and the next one
// tries again instead of using the connection that was never opened.
TEST_F(StoreTest, AChildWhoseConnectionFailsTriesAgainOnTheNextCall) {
    HKEY key = Create("Software\\Forked");
    ASSERT_EQ(SetText(key, "v", "parent"), ERROR_SUCCESS);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        const rlimit none{0, limit.rlim_max};
        bool ok = setrlimit(RLIMIT_NOFILE, &none) == 0;
        ok = ok && GetText(key, "v") == "<missing>";
        ok = ok && GetText(key, "v") == "<missing>";
        ok = ok && setrlimit(RLIMIT_NOFILE, &limit) == 0;
        ok = ok && GetText(key, "v") == "parent";
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "child ended with status " << status;
    RegCloseKey(key);
}

// Two processes write their own values under one key at the same moment,
// each value in its own transaction; afterwards every value of both is there.
TEST_F(StoreTest, TwoProcessesWritingUnderOneKeyKeepAllValues) {
    constexpr int kValuesEach = 100;
    HKEY key = Create("Software\\Shared");
    RegCloseKey(key);

    int go[2];
    ASSERT_EQ(pipe(go), 0);
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer) {
        children[writer] = fork();
        ASSERT_GE(children[writer], 0);
        if (children[writer] == 0) {
            close(go[1]);
            char byte;
            // Both start when the parent closes the pipe.
            (void)!read(go[0], &byte, 1);
            CRegistry reg(HKEY_CURRENT_USER);
            bool ok = reg.Open(HKEY_CURRENT_USER, "Software\\Shared", KEY_ALL_ACCESS) == 1;
            for (int i = 0; ok && i < kValuesEach; ++i) {
                const std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
                ok = reg.Write(name.c_str(), (name + "-data").c_str()) == 1 &&
                     reg.Write("Counter", writer * 1000 + i) == 1;
                // A new key on the same path from both sides at once.
                CRegistry sub(HKEY_CURRENT_USER);
                ok = ok && sub.CreateKey(HKEY_CURRENT_USER, "Software\\Shared\\Both", KEY_ALL_ACCESS) == 1;
            }
            _exit(ok ? 0 : 1);
        }
    }
    close(go[0]);
    close(go[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    CRegistry reg(HKEY_CURRENT_USER);
    ASSERT_EQ(reg.Open(HKEY_CURRENT_USER, "Software\\Shared", KEY_READ), 1);
    for (int writer = 0; writer < 2; ++writer) {
        for (int i = 0; i < kValuesEach; ++i) {
            const std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
            std::string text;
            ASSERT_EQ(reg.Read(name.c_str(), text), 1) << name;
            EXPECT_EQ(text, name + "-data");
        }
    }
    // The value both wrote holds one writer's last value, whole.
    int counter = 0;
    ASSERT_EQ(reg.Read("Counter", counter), 1);
    EXPECT_TRUE(counter == kValuesEach - 1 || counter == 1000 + kValuesEach - 1) << counter;
    // Exactly one key "Both" was created.
    char name[64];
    std::set<std::string> keys;
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(reg.GetKey(), index, name, &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        keys.insert(name);
    }
    EXPECT_EQ(keys, std::set<std::string>{"Both"});
}

// A writer killed in the middle of its writes leaves the value it was
// replacing or the new one, never a mixture.
TEST_F(StoreTest, AKilledWriterLeavesNoHalfWrittenValue) {
    constexpr size_t kSize = 256 * 1024;
    HKEY key = Create("Software\\Crash");
    RegCloseKey(key);
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(progress[0]);
        HKEY own = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", 0, KEY_ALL_ACCESS, &own) != 0)
            _exit(1);
        std::vector<BYTE> data(kSize);
        for (unsigned round = 0;; ++round) {
            std::fill(data.begin(), data.end(), static_cast<BYTE>(round));
            if (RegSetValueExA(own, "Big", 0, REG_BINARY, data.data(), kSize) != 0) _exit(1);
            const char tick = 1;
            if (write(progress[1], &tick, 1) != 1) _exit(1);
        }
    }
    close(progress[1]);
    char ticks[3];
    for (size_t got = 0; got < sizeof ticks;) {
        const ssize_t n = read(progress[0], ticks + got, sizeof ticks - got);
        ASSERT_GT(n, 0) << "the writer stopped early";
        got += static_cast<size_t>(n);
    }
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(progress[0]);

    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Crash", 0, KEY_READ, &reader), 0);
    std::vector<BYTE> data(kSize + 1);
    DWORD size = static_cast<DWORD>(data.size());
    ASSERT_EQ(RegQueryValueExA(reader, "Big", nullptr, nullptr, data.data(), &size), 0);
    ASSERT_EQ(size, kSize);
    data.resize(size);
    EXPECT_EQ(std::count(data.begin(), data.end(), data[0]), static_cast<long>(kSize));
    // The store still takes changes.
    EXPECT_EQ(SetText(reader, "After", "x"), ERROR_ACCESS_DENIED);  // read-only handle
    HKEY writer = Create("Software\\Crash");
    EXPECT_EQ(SetText(writer, "After", "x"), ERROR_SUCCESS);
    RegCloseKey(writer);
    RegCloseKey(reader);
}

TEST_F(StoreTest, ThreadsShareTheStore) {
    HKEY key = Create("Software\\Threads");
    RegCloseKey(key);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            CRegistry reg(HKEY_CURRENT_USER);
            ASSERT_EQ(reg.Open(HKEY_CURRENT_USER, "Software\\Threads", KEY_ALL_ACCESS), 1);
            for (int i = 0; i < 50; ++i)
                ASSERT_EQ(reg.Write(("t" + std::to_string(t) + "-" + std::to_string(i)).c_str(), i), 1);
        });
    }
    for (std::thread& thread : threads) thread.join();
    CRegistry reg(HKEY_CURRENT_USER);
    ASSERT_EQ(reg.Open(HKEY_CURRENT_USER, "Software\\Threads", KEY_READ), 1);
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 50; ++i) {
            int value = -1;
            ASSERT_EQ(reg.Read(("t" + std::to_string(t) + "-" + std::to_string(i)).c_str(), value), 1);
            EXPECT_EQ(value, i);
        }
    }
}

// Without KARDO_REGISTRY_DIR the current user's store follows the XDG base
// directory rules: an absolute XDG_CONFIG_HOME, else ~/.config.
TEST_F(StoreTest, TheUserStoreFollowsXdgConfigHome) {
    unsetenv("KARDO_REGISTRY_DIR");
    const char* old_home = std::getenv("HOME");
    const std::string saved_home = old_home ? old_home : "";
    const char* old_config = std::getenv("XDG_CONFIG_HOME");
    const std::string saved_config = old_config ? old_config : "";

    setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
    CRegistry first(HKEY_CURRENT_USER);
    EXPECT_EQ(first.Write("Where", "xdg"), 1);
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", (folder_ + "/home").c_str(), 1);
    CRegistry second(HKEY_CURRENT_USER);
    EXPECT_EQ(second.Write("Where", "home"), 1);

    if (old_home) setenv("HOME", saved_home.c_str(), 1); else unsetenv("HOME");
    if (old_config) setenv("XDG_CONFIG_HOME", saved_config.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");

    struct stat info {};
    EXPECT_EQ(stat((folder_ + "/config/kardo/registry/HKEY_CURRENT_USER.db").c_str(), &info), 0);
    EXPECT_EQ(stat((folder_ + "/home/.config/kardo/registry/HKEY_CURRENT_USER.db").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(stat(StoreFile("HKEY_CURRENT_USER").c_str(), &info), 0);
}

TEST_F(StoreTest, AStoreFileThatIsNotADatabaseFailsClearly) {
    {
        std::ofstream file(StoreFile("HKEY_CURRENT_USER"));
        file << "These are not the settings you are looking for.\n";
        for (int i = 0; i < 100; ++i) file << "0123456789abcdef";
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_BADDB);

    CRegistry reg(HKEY_CURRENT_USER);
    EXPECT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "Software", KEY_ALL_ACCESS), 0);
    EXPECT_EQ(reg.m_lLastResult, ERROR_BADDB);
    CRegistry root(HKEY_CURRENT_USER);
    EXPECT_EQ(root.Write("Value", 1), 0);
    EXPECT_EQ(root.m_lLastResult, ERROR_BADDB);
    std::string text;
    EXPECT_EQ(root.Read("Value", text), 0);
    EXPECT_EQ(root.m_lLastResult, ERROR_BADDB);

    // The file is left as it was, and the other root keys still work.
    std::ifstream file(StoreFile("HKEY_CURRENT_USER"));
    std::string first_line;
    std::getline(file, first_line);
    EXPECT_EQ(first_line, "These are not the settings you are looking for.");
    CRegistry machine(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(machine.Write("Value", 1), 1);
}

TEST_F(StoreTest, AFolderInPlaceOfTheStoreFileFailsClearly) {
    ASSERT_EQ(mkdir(StoreFile("HKEY_CURRENT_USER").c_str(), 0700), 0);
    CRegistry reg(HKEY_CURRENT_USER);
    EXPECT_EQ(reg.Write("Value", 1), 0);
    EXPECT_EQ(reg.m_lLastResult, ERROR_CANTOPEN);
}

// Ordinary users may read a store file they cannot write.
TEST_F(StoreTest, AStoreFileWithoutWritePermissionIsReadOnly) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes every file";
    CRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_EQ(reg.Write("Value", 7), 1);
    ASSERT_EQ(chmod(StoreFile("HKEY_LOCAL_MACHINE").c_str(), 0444), 0);
    ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
    const pid_t child = fork();  // a fresh process opens the file anew
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("KARDO_REGISTRY_DIR", (folder_ + "/.").c_str(), 1);
        CRegistry reader(HKEY_LOCAL_MACHINE);
        int value = 0;
        const bool ok = reader.Read("Value", value) == 1 && value == 7 &&
                        reader.Write("Value", 8) == 0 &&
                        reader.m_lLastResult == ERROR_ACCESS_DENIED;
        CRegistry absent(HKEY_USERS);  // no file and no right to create it
        const bool empty = absent.Open(HKEY_USERS, "Software", KEY_READ) == 0 &&
                           absent.m_lLastResult == ERROR_FILE_NOT_FOUND;
        _exit(ok && empty ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(folder_.c_str(), 0700);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
