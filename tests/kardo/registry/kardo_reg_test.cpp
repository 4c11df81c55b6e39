// kardo-reg, run as users run it, checked against what CRegistry sees.
#include <kardo/kardo.h>

#include "temp_store.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

// Runs the program with the arguments; stderr goes to a file so that two
// pipes can not block each other.
Outcome RunTool(const std::vector<std::string>& args, const std::string& folder) {
    Outcome outcome;
    int out[2];
    if (pipe(out) != 0) return outcome;
    const std::string err_file = folder + "/stderr.txt";
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        if (!freopen(err_file.c_str(), "w", stderr)) _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(KARDO_REG_PROGRAM));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(KARDO_REG_PROGRAM, argv.data());
        _exit(127);
    }
    close(out[1]);
    outcome.out = Drain(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FILE* err = std::fopen(err_file.c_str(), "r");
    if (err) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0) outcome.err.append(buffer, n);
        std::fclose(err);
    }
    return outcome;
}

class KardoRegTest : public TempStoreTest {
protected:
    Outcome Run(const std::vector<std::string>& args) { return RunTool(args, folder_); }
};

TEST_F(KardoRegTest, SetWritesTypedValuesThatCRegistryReads) {
    const std::string key = "HKCU\\Software\\Quellwerk\\Demo";
    EXPECT_EQ(Run({"set", key, "Port", "dword", "3000"}).status, 0);
    EXPECT_EQ(Run({"set", key, "Mask", "dword", "0xFFFFFFFF"}).status, 0);
    EXPECT_EQ(Run({"set", key, "Device", "sz", "COM1"}).status, 0);
    EXPECT_EQ(Run({"set", key, "Rect", "hex", "02 00 02,00:00 00"}).status, 0);

    CRegistry reg(HKEY_CURRENT_USER);
    ASSERT_EQ(reg.Open(HKEY_CURRENT_USER, "Software\\Quellwerk\\Demo", KEY_READ), 1);
    DWORD number = 0;
    ASSERT_EQ(reg.Read("Port", number), 1);
    EXPECT_EQ(number, 3000u);
    EXPECT_EQ(reg.m_dwLastType, REG_DWORD);
    ASSERT_EQ(reg.Read("Mask", number), 1);
    EXPECT_EQ(number, 0xFFFFFFFFu);
    std::string text;
    ASSERT_EQ(reg.Read("Device", text), 1);
    EXPECT_EQ(text, "COM1");
    EXPECT_EQ(reg.m_dwLastType, REG_SZ);
    EXPECT_EQ(reg.m_dwLastSize, 5u);
    CWordArray words(2);
    ASSERT_EQ(reg.Read("Rect", words), 1);
    EXPECT_EQ(reg.m_dwLastType, REG_BINARY);
    EXPECT_EQ(reg.m_dwLastSize, 6u);
    EXPECT_EQ(words, (CWordArray{2, 0}));
}

TEST_F(KardoRegTest, GetAndListShowWhatCRegistryWrote) {
    CRegistry reg(HKEY_CURRENT_USER);
    ASSERT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "Software\\Listed", KEY_ALL_ACCESS), 1);
    ASSERT_EQ(reg.Write("Number", 42), 1);
    ASSERT_EQ(reg.Write("Name", "Karte"), 1);
    ASSERT_EQ(reg.Write("Bytes", CByteArray{0xAB}), 1);
    ASSERT_EQ(reg.CreateKey(HKEY_CURRENT_USER, "Software\\Listed\\Child", KEY_ALL_ACCESS), 1);

    EXPECT_EQ(Run({"get", "HKEY_CURRENT_USER\\Software\\Listed", "Number"}).out, "42\n");
    EXPECT_EQ(Run({"get", "hkcu\\software\\listed", "name"}).out, "Karte\n");
    EXPECT_EQ(Run({"get", "HKCU\\Software\\Listed", "Bytes"}).out, "01 00 ab\n");

    const Outcome listing = Run({"list", "HKCU\\Software\\Listed"});
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.out,
              "HKEY_CURRENT_USER\\Software\\Listed\n"
              "    Bytes    REG_BINARY    01 00 ab\n"
              "    Name    REG_SZ    Karte\n"
              "    Number    REG_DWORD    0x0000002a (42)\n"
              "HKEY_CURRENT_USER\\Software\\Listed\\Child\n");
}

TEST_F(KardoRegTest, DeleteRemovesValuesAndKeys) {
    const std::string key = "HKCU\\Software\\Doomed";
    ASSERT_EQ(Run({"set", key + "\\Inner", "v", "sz", "x"}).status, 0);
    ASSERT_EQ(Run({"set", key, "w", "sz", "y"}).status, 0);
    EXPECT_EQ(Run({"delete", key, "w"}).status, 0);
    CRegistry reg(HKEY_CURRENT_USER);
    ASSERT_EQ(reg.Open(HKEY_CURRENT_USER, "Software\\Doomed", KEY_READ), 1);
    EXPECT_EQ(reg.VerifyValue("w"), 0);
    reg.Close();

    const Outcome refused = Run({"delete-key", key});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("(5)"), std::string::npos) << refused.err;
    EXPECT_EQ(Run({"delete-key", "-r", key}).status, 0);
    EXPECT_EQ(reg.Open(HKEY_CURRENT_USER, "Software\\Doomed", KEY_READ), 0);
    EXPECT_EQ(reg.Open(HKEY_CURRENT_USER, "Software", KEY_READ), 1);
}

TEST_F(KardoRegTest, MistakesGiveMessagesAndExitCodes) {
    Outcome outcome = Run({"get", "HKCU\\Software\\None", "x"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("no such key or value (2)"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");

    EXPECT_EQ(Run({"set", "HKCU\\A", "n", "dword", "4294967296"}).status, 2);
    EXPECT_EQ(Run({"set", "HKCU\\A", "n", "dword", "12abc"}).status, 2);
    EXPECT_EQ(Run({"set", "HKCU\\A", "n", "hex", "123"}).status, 2);
    EXPECT_EQ(Run({"set", "HKCU\\A", "n", "float", "1"}).status, 2);
    EXPECT_EQ(Run({"set", "NOROOT\\A", "n", "sz", "1"}).status, 2);
    EXPECT_EQ(Run({"frobnicate", "HKCU"}).status, 2);
    EXPECT_EQ(Run({}).status, 2);
    // Nothing of the refused commands reached the store.
    CRegistry reg(HKEY_CURRENT_USER);
    EXPECT_EQ(reg.Open(HKEY_CURRENT_USER, "A", KEY_READ), 0);

    outcome = Run({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.out.find("KARDO_REGISTRY_DIR"), std::string::npos);
}

TEST_F(KardoRegTest, AKeyWithAnEmptyNameIsReportedNotFollowed) {
    ASSERT_EQ(Run({"set", "HKCU\\Software\\Tampered", "v", "sz", "x"}).status, 0);
    // Only a foreign writer can leave such a row: opening it by its name
    // reaches its parent again.
    const std::string sql = "INSERT INTO keys(parent, name) SELECT id, '' FROM keys WHERE name = 'Tampered'";
    ASSERT_EQ(0, std::system(("sqlite3 '" + StoreFile("HKEY_CURRENT_USER") + "' \"" + sql + "\"").c_str()));
    for (const char* command : {"list", "delete-key"}) {
        const Outcome outcome = Run({command, "-r", "HKCU\\Software"});
        EXPECT_EQ(outcome.status, 1) << command;
        EXPECT_NE(outcome.err.find("damaged (1015)"), std::string::npos) << command << ": " << outcome.err;
    }
}

}  // namespace
