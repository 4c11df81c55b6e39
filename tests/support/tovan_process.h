#pragma once
// A program (tovan, kardo-card, ...) run as a user runs it, with its standard
// output and error in pipes that the test reads.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

class TovanProcess {
public:
    // outputPipeSize > 0 makes standard output a pipe of that size.
    TovanProcess(const std::string& binary, std::vector<std::string> args, int outputPipeSize = 0) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        if (outputPipeSize > 0) fcntl(out[1], F_SETPIPE_SZ, outputPipeSize);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        args.insert(args.begin(), binary);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~TovanProcess() {
        Kill(SIGKILL);
        close(out_);
        close(err_);
    }
    TovanProcess(const TovanProcess&) = delete;
    TovanProcess& operator=(const TovanProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void Signal(int sig) {
        if (pid_ > 0) kill(pid_, sig);
    }
    // Sends the signal and waits for the end.
    void Kill(int sig) {
        if (pid_ <= 0) return;
        kill(pid_, sig);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // Waits for the exit: the exit code, 128 + the signal, or -1 after timeoutMs.
    int Wait(int timeoutMs = 5000) {
        int status = 0;
        if (!Until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutMs)) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Reads standard output (error) until it holds text, or timeoutMs passes.
    bool OutputHas(const std::string& text, int timeoutMs = 5000) { return Collect(out_, output_, text, timeoutMs); }
    // The same for `times` occurrences of text.
    bool OutputHas(const std::string& text, int times, int timeoutMs) {
        return Collect(out_, output_, text, timeoutMs, times);
    }
    bool ErrorsHave(const std::string& text, int timeoutMs = 5000) { return Collect(err_, errors_, text, timeoutMs); }
    std::string Errors() {
        Collect(err_, errors_, "\x01", 200);
        return errors_;
    }

private:
    template <class Condition>
    static bool Until(Condition condition, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return condition();
    }
    static int Count(const std::string& in, const std::string& text) {
        int n = 0;
        for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + text.size())) ++n;
        return n;
    }
    static bool Collect(int fd, std::string& into, const std::string& text, int timeoutMs, int times = 1) {
        return Until(
            [&] {
                pollfd p{fd, POLLIN, 0};
                while (poll(&p, 1, 0) > 0) {
                    char buf[512];
                    const ssize_t n = read(fd, buf, sizeof buf);
                    if (n <= 0) break;
                    into.append(buf, n);
                }
                return Count(into, text) >= times;
            },
            timeoutMs);
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string output_, errors_;
};

}  // namespace testsupport
