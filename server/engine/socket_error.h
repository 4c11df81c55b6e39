#pragma once
// Socket error numbers as the original program knew them (the Winsock
// numbers) and their English texts. POSIX errno values are mapped onto those
// numbers, so that a port in use reads "Address already in use" and a refused
// connection "Connection refused", exactly as the log lines always read.
#include <string>

// The text for a Winsock error number; "error #%d" for numbers the table
// does not know, "Connection closed" for 0.
std::string SocketErrorText(int code);

// The Winsock number for an errno value; 0 stays 0, values without a Winsock
// counterpart are returned unchanged (their text is then "error #<errno>").
int WinsockErrorFromErrno(int errnoValue);

// The calling thread's last socket error, as a Winsock number.
int WSAGetLastError();
void WSASetLastError(int code);
// Takes errno as the thread's last socket error (mapped) and returns it.
int SaveSocketErrno();
