#pragma once
// An auto-reset event on an eventfd: Set() signals it, one successful Wait()
// consumes the signal. Its descriptor can join a poll() beside other
// descriptors, so a thread can wait for "stopped or data" at once.
namespace platform {

class AutoResetEvent {
public:
    AutoResetEvent();
    ~AutoResetEvent();
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    void Reset();
    // Waits up to timeoutMs (negative: forever); true when the event was signalled.
    bool Wait(int timeoutMs);
    // Consumes the signal if it is set, without waiting.
    bool TryConsume();
    // Readable while the event is signalled.
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace platform
