#pragma once
// The serial port of every card terminal driver. A driver keeps its port as a
// handle of this layer's table (Callcard::hport, or one of the Cherry driver's
// port slots); copies of a driver share the handle. Handles are never given
// out twice in a process: once a port is closed, a stale copy of its handle
// fails with EBADF instead of reaching a port that some driver opened later.
//
// A port is named as the drivers take it: COMn, a device path, or
// tovan://HOST:DATAPORT:CTRLPORT (tovan://HOST:DATAPORT without line control)
// for a terminal on a serial port that a tovan server makes reachable.
#include <cstddef>
#include <string>

namespace terminal_port {

constexpr int kClosed = -1;

bool IsOpen(int handle);
// Opens the named port (COMn, /dev/...) exclusively; the handle takes a new
// number. False with the handle kClosed and the system error kept as the
// last error.
bool Open(int& handle, const std::string& name);
// The terminals' line: 9600 baud, 8 data bits, even parity with parity
// checking, `stopBits` stop bits, CTS/RTS handshake, DTR on. (Output flow by
// DSR has no termios counterpart; CTS carries the flow control.)
bool Configure(int handle, int stopBits);
// Closes the port and sets the handle to kClosed; nothing when it is not open.
void Close(int& handle);
// Waits up to timeoutMs for the first byte and returns what is there (at most
// size): the count, 0 after the time without a byte, -1 on failure.
int Read(int handle, unsigned char* buffer, size_t size, int timeoutMs);
// Writes all bytes; false when the port refuses them or accepts none for
// timeoutMs.
bool Write(int handle, const unsigned char* data, size_t size, int timeoutMs);
// CTS of the modem status; false when it cannot be read.
bool Cts(int handle, bool& on);

int LastError();
void SetLastError(int code);

}  // namespace terminal_port
