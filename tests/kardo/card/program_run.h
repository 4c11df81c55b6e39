#pragma once
// kardo-card run as a user runs it: a child process whose standard output and
// standard error are collected by threads, so a test can wait for a line and
// send signals while the program works.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ProgramRun {
public:
    explicit ProgramRun(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe(out) || pipe(err)) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            close(out[0]);
            close(err[0]);
            std::vector<char*> argv{const_cast<char*>(KARDO_CARD_PROGRAM)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(KARDO_CARD_PROGRAM, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        readers_.emplace_back([this, fd = out[0]] { Drain(fd, out_); });
        readers_.emplace_back([this, fd = err[0]] { Drain(fd, err_); });
    }
    ~ProgramRun() {
        if (pid_ > 0 && exit_ < 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Waits until the stream holds `text` (at most a minute, so a broken
    // program fails the test instead of hanging it); false if it never came.
    bool WaitForOut(const std::string& text, size_t from = 0) { return WaitFor(out_, text, from); }
    bool WaitForErr(const std::string& text, size_t from = 0) { return WaitFor(err_, text, from); }
    void Signal(int signal) const { kill(pid_, signal); }

    // Waits for the end; the exit code (-1 when killed by a signal).
    int Wait() {
        for (std::thread& t : readers_)
            if (t.joinable()) t.join();
        if (exit_ < 0 && pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
        }
        return exit_;
    }
    std::string Out() {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }
    std::string Err() {
        std::lock_guard<std::mutex> lock(mutex_);
        return err_;
    }

private:
    void Drain(int fd, std::string& into) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            into.append(buffer, static_cast<size_t>(n));
            changed_.notify_all();
        }
        close(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        closed_++;
        changed_.notify_all();
    }
    bool WaitFor(const std::string& stream, const std::string& text, size_t from) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::minutes(1), [&] {
            return stream.find(text, from) != std::string::npos || closed_ == 2;
        }) && stream.find(text, from) != std::string::npos;
    }

    pid_t pid_ = -1;
    int exit_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_, err_;
    int closed_ = 0;
    std::vector<std::thread> readers_;
};
