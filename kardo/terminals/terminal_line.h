#pragma once
// One open line to a card terminal, as the terminal port layer keeps it: a
// local serial port, or a serial port that a tovan server makes reachable
// over TCP. Every failing call leaves the reason as the thread's last error.
#include <cstddef>
#include <memory>
#include <string>

namespace terminal_port {

class TerminalLine {
public:
    virtual ~TerminalLine() = default;
    // 9600 baud, 8 data bits, even parity checked, `stopBits`, CTS/RTS flow, DTR on.
    virtual bool Configure(int stopBits) = 0;
    // Up to timeoutMs for the first byte, then what is there: count, 0, or -1.
    virtual int Read(unsigned char* buffer, size_t size, int timeoutMs) = 0;
    virtual bool Write(const unsigned char* data, size_t size, int timeoutMs) = 0;
    virtual bool Cts(bool& on) = 0;
    virtual void Close() = 0;
};

// A local serial port by the drivers' names (COMn, /dev/...), opened exclusively.
std::unique_ptr<TerminalLine> OpenSerialLine(const std::string& name);

}  // namespace terminal_port
