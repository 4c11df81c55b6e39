#include "server/ui/output_queue.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "server/engine/log_time_stamp.h"

OutputQueue::OutputQueue(int fd) : fd_(fd), thread_([this] { Run(); }) {}

OutputQueue::~OutputQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void OutputQueue::Write(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (broken_) return;
        if (lines_.size() >= kMaxLines) {
            ++lost_;
            return;
        }
        lines_.push_back(line);
    }
    changed_.notify_all();
}

bool OutputQueue::Drain(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return broken_ || (lines_.empty() && !writing_); });
}

bool OutputQueue::WriteAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;  // a reader that went away, a closed descriptor
        }
    }
    return true;
}

void OutputQueue::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !lines_.empty() || lost_ > 0; });
        if (lines_.empty() && lost_ == 0) return;  // stopped
        std::deque<std::string> batch;
        batch.swap(lines_);
        const uint64_t lost = lost_;
        lost_ = 0;
        writing_ = true;
        lock.unlock();
        std::string text;
        for (const std::string& line : batch) text.append(line).append("\n");
        if (lost > 0) text.append(LogTimeStamp() + " - " + std::to_string(lost) + " lines of output were lost\n");
        const bool ok = WriteAll(text);
        lock.lock();
        writing_ = false;
        if (!ok) {
            broken_ = true;
            lines_.clear();
            lost_ = 0;
        }
        changed_.notify_all();
        if (broken_) {
            // Nothing more can be written: wait for the end.
            changed_.wait(lock, [this] { return stop_; });
            return;
        }
    }
}
