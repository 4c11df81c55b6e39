#pragma once
// The G81 driver's serial port. The driver keeps its port as the descriptor
// in Callcard::hport (shared by copies of the driver object); the serial-port
// objects behind those descriptors live here, found by descriptor.
#include <cstddef>
#include <string>

namespace g81_port {

bool IsOpen(int handle);
// Opens the named port (COMn, /dev/...) exclusively; the handle takes its
// descriptor. False with the system error kept as the last error.
bool Open(int& handle, const std::string& name);
// The terminal's line: 9600 baud, 8 data bits, even parity with parity
// checking, 1 stop bit, CTS/RTS handshake, DTR on.
bool Configure(int handle);
// Closes the port and sets the handle to -1; nothing when it is not open.
void Close(int& handle);
// Waits up to timeoutMs for the first byte and returns what is there (at most
// size): the count, 0 after the time without a byte, -1 on failure.
int Read(int handle, unsigned char* buffer, size_t size, int timeoutMs);
bool Write(int handle, const unsigned char* data, size_t size, int timeoutMs);
// CTS of the modem status; false when it cannot be read.
bool Cts(int handle, bool& on);

int LastError();
void SetLastError(int code);

}  // namespace g81_port
