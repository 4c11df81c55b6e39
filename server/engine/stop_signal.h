#pragma once
// A one-way "stop" flag that threads can also wait on, alone or in poll()
// beside other descriptors. Once set it stays set (one per server run).

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Set();
    bool IsSet() const;
    // Waits up to timeoutMs; true when the signal is (or becomes) set.
    bool Wait(int timeoutMs) const;
    // Readable once set.
    int fd() const { return fd_; }

private:
    int fd_;
};
