#pragma once
// Events on an eventfd, as the original programs used them: Set() signals the
// event; an auto-reset event is consumed by the one Wait() that sees it, a
// manual-reset event stays signalled until Reset(). The descriptor can join a
// poll() beside other descriptors, so a thread can wait for "stopped or data"
// at once; it is readable while the event is signalled. Like a handle, the
// object is const for waiting: the signal lives in the kernel.
namespace platform {

class Event {
public:
    enum class Mode { AutoReset, ManualReset };

    explicit Event(Mode mode);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // Waits up to timeoutMs (negative: forever); true when the event was
    // signalled. An auto-reset event is consumed by it.
    bool Wait(int timeoutMs) const;
    // True when signalled now, without waiting (an auto-reset event is consumed).
    bool TryConsume() const;
    int fd() const { return fd_; }

private:
    const Mode mode_;
    int fd_;
};

class AutoResetEvent : public Event {
public:
    AutoResetEvent() : Event(Mode::AutoReset) {}
};

class ManualResetEvent : public Event {
public:
    ManualResetEvent() : Event(Mode::ManualReset) {}
    bool IsSet() const { return Wait(0); }
};

}  // namespace platform
