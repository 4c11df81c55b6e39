#pragma once
// Lines for a descriptor that may stop taking them: a pipe nobody drains
// (tovan ... | less, a stalled log collector) or a terminal held with Ctrl-S.
// Write() only queues the line and never waits; a thread of the queue's own
// writes the lines out. When kMaxLines wait already, a new line is counted
// instead of queued, and once output flows again the count is written as
// "<time stamp> - N lines of output were lost".
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class OutputQueue {
public:
    static constexpr size_t kMaxLines = 10000;

    explicit OutputQueue(int fd);
    // Writes what waits and ends the thread. Call Drain first: a thread that
    // is stuck in a write cannot be ended, and the program must then leave
    // without destroying the queue (std::_Exit).
    ~OutputQueue();
    OutputQueue(const OutputQueue&) = delete;
    OutputQueue& operator=(const OutputQueue&) = delete;

    // Queues text and a line break; any thread, never blocks.
    void Write(const std::string& line);
    // Waits up to timeoutMs until every queued line is written; false when
    // the output does not take them.
    bool Drain(int timeoutMs);

private:
    void Run();
    // Writes all of text; false when the descriptor fails for good.
    bool WriteAll(const std::string& text);

    const int fd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lines_;
    uint64_t lost_ = 0;
    bool writing_ = false;
    bool stop_ = false;
    bool broken_ = false;
    std::thread thread_;
};
