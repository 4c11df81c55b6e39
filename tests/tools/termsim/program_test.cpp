// kardo-termsim as a user runs it: options, messages, the device, commands.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "raw_host.h"

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the program with the given arguments and standard input to completion.
ProgramRun RunProgram(const std::vector<std::string>& args, const std::string& input = "") {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(in[1]);
        close(out[0]);
        close(err[0]);
        std::vector<char*> argv{const_cast<char*>(TERMSIM_PROGRAM)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TERMSIM_PROGRAM, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    (void)!write(in[1], input.data(), input.size());
    close(in[1]);
    ProgramRun run;
    auto drain = [](int fd, std::string& into) {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) into.append(buf, static_cast<size_t>(n));
        close(fd);
    };
    drain(out[0], run.out);
    drain(err[0], run.err);
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(Program, HelpNamesTheOptionsFaultsAndCardFiles) {
    ProgramRun run = RunProgram({"--help"});
    EXPECT_EQ(0, run.exitCode);
    for (const char* word : {"--card", "--link", "--fault", "--trace", "--cts-off", "insert CARD", "refuse-write",
                             "Card files"})
        EXPECT_NE(std::string::npos, run.out.find(word)) << word;
}

TEST(Program, BadArgumentsAreExplained) {
    ProgramRun run = RunProgram({"--frobnicate"});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("unknown option \"--frobnicate\""));
    EXPECT_NE(std::string::npos, run.err.find("--help"));
    run = RunProgram({"--family", "nonsense"});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("unknown terminal family \"nonsense\""));
    run = RunProgram({"--fault", "bad-lrc@x"});
    EXPECT_EQ(2, run.exitCode);
    run = RunProgram({"--card", "/nonexistent/card.txt"});
    EXPECT_EQ(2, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("cannot read the card file /nonexistent/card.txt"));
    run = RunProgram({"--block-size", "300"});
    EXPECT_EQ(2, run.exitCode);
}

TEST(Program, ASaveThatCannotBeWrittenFails) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    ProgramRun run = RunProgram({"--save", "/dev/full"}, "quit\n");
    EXPECT_EQ(1, run.exitCode);
    EXPECT_NE(std::string::npos, run.err.find("cannot write /dev/full"));
    run = RunProgram({}, "save /dev/full\nquit\n");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("error: cannot write /dev/full"));
    EXPECT_EQ(std::string::npos, run.out.find("card saved"));
}

TEST(Program, ShowPrintsTheCardSixteenBytesToALine) {
    ProgramRun run = RunProgram({"--card", "memory"}, "show\nquit\n");
    EXPECT_EQ(0, run.exitCode);
    std::string erased;
    for (int i = 0; i < 16; ++i) erased += " FF";
    EXPECT_NE(std::string::npos, run.out.find("\n00:" + erased + "\n"));
    EXPECT_NE(std::string::npos, run.out.find("\nF0:" + erased + "\n"));
}

TEST(Program, ServesTheLinkAndTakesCommandsUntilQuit) {
    std::string link = "/tmp/termsim-test-link-" + std::to_string(getpid());
    std::string saved = link + ".bin";
    int in[2], out[2];
    ASSERT_EQ(0, pipe(in));
    ASSERT_EQ(0, pipe(out));
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        execl(TERMSIM_PROGRAM, TERMSIM_PROGRAM, "--card", "insurance", "--link", link.c_str(), "--save",
              saved.c_str(), "--trace", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    // The first line names the device once it is being served.
    std::string text;
    char c;
    while (text.find('\n') == std::string::npos && read(out[0], &c, 1) == 1) text += c;
    EXPECT_NE(std::string::npos, text.find("G81 terminal on /dev/pts/"));
    {
        termsim_test::RawHost host(link);
        ASSERT_TRUE(host.ok());
        EXPECT_EQ((termsim_test::Bytes{0x21, 0xE0, 0x00, 0xC1}), host.Exchange({0x12, 0xC0, 0x00, 0xD2}));
        // Card status of the inserted, not yet requested card; then take it out.
        EXPECT_EQ(termsim_test::Block(0x21, 0x00, {0x01, 0x90, 0x00}),
                  host.Exchange(termsim_test::Block(0x12, 0x00, {0x20, 0x13, 0x00, 0x80, 0x00})));
        const char remove[] = "remove\n";
        ASSERT_EQ(static_cast<ssize_t>(sizeof remove - 1), write(in[1], remove, sizeof remove - 1));
        // The command's reply shows it has been done.
        std::string rest;
        while (rest.find("card removed\n") == std::string::npos && read(out[0], &c, 1) == 1) rest += c;
        EXPECT_EQ(termsim_test::Block(0x21, 0x40, {0x00, 0x90, 0x00}),
                  host.Exchange(termsim_test::Block(0x12, 0x40, {0x20, 0x13, 0x00, 0x80, 0x00})));
        const char insert[] = "insert memory\nquit\n";
        ASSERT_EQ(static_cast<ssize_t>(sizeof insert - 1), write(in[1], insert, sizeof insert - 1));
    }
    close(in[1]);
    std::string rest;
    ssize_t n;
    char buf[4096];
    while ((n = read(out[0], buf, sizeof buf)) > 0) rest.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    // The trace went to standard output; the link is gone; the last card was saved.
    EXPECT_NE(std::string::npos, rest.find("card inserted"));
    EXPECT_EQ(-1, access(link.c_str(), F_OK));
    std::ifstream file(saved, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(256u, bytes.size());
    EXPECT_EQ('\xFF', bytes[0]);
    unlink(saved.c_str());
}

TEST(Program, PlaysTheCherryFamily) {
    ProgramRun run = RunProgram({"--family", "cherry", "--card", "insurance"}, "status\nquit\n");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("Cherry terminal on /dev/pts/"));
    EXPECT_NE(std::string::npos, run.out.find("health insurance card"));
}

TEST(Program, PlaysAPkiTerminal) {
    ProgramRun run = RunProgram({"--family", "pki", "--success-status", "82"}, "status\nquit\n");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("PKI terminal on /dev/pts/"));
    EXPECT_NE(std::string::npos, run.out.find("card reads: 0, card writes: 0"));
    run = RunProgram({"--family", "pki", "--success-status", "80"});
    EXPECT_EQ(2, run.exitCode);
}
