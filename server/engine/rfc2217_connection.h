#pragma once
// A connection on the telnet port (--rfc2217-port): a data connection that
// speaks telnet and the COM-PORT option, so standard serial-over-TCP clients
// can set and read back the line.
//
// Like a data connection it becomes the receiver of device data at its
// accept and writes what its client sends to the device; 0xFF is escaped as
// IAC IAC both ways. Telnet options other than BINARY, SUPPRESS-GO-AHEAD and
// COM-PORT are refused at once (WONT/DONT). COM-PORT requests are answered
// with the server's code (client code + 100) and the value the line holds
// afterwards, as the serial-port layer records it:
//   SET-BAUDRATE, SET-DATASIZE, SET-PARITY, SET-STOPSIZE  0 is a query; a value
//       the line cannot take (9 data bits, 1.5 stop bits, a refused rate) is
//       answered with the line's setting, unchanged; a printer device has no
//       line: it is answered as asked; no device: answered with 0;
//   SET-CONTROL  flow control and BREAK are not changed, the answer names the
//       line's setting (no flow control, BREAK off); DTR and RTS are set
//       where the device has modem lines, and answered as requested where it
//       has none (a pseudo-terminal, a printer);
//   NOTIFY-LINESTATE, NOTIFY-MODEMSTATE (as requests), SET-LINESTATE-MASK,
//   SET-MODEMSTATE-MASK, SIGNATURE (empty: the server's own) are answered;
//   once COM-PORT is agreed, changes of the modem lines (CTS, DSR, ring,
//   carrier detect) are sent as NOTIFY-MODEMSTATE, filtered by the mask;
//   PURGE-DATA 1 empties what waits for this client (its queue, and the
//       device's unread input while it is the receiver), 2 what waits for
//       the device (its output buffer, shared by all clients), 3 both.
// Nothing of this waits for the client: one that never negotiates still
// gets device data, and its bytes other than 0xFF reach the device as sent.
// Ends like a data connection. Returns 0.
#include "server/engine/connection.h"

int Rfc2217ClientThreadProc(ClientParams params);
