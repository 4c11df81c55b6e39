#pragma once
#include "server/engine/connection.h"

// A control connection reads frames: one command byte, one length byte n,
// n payload bytes; the server never answers.
//   "0"  end the connection          "1"  baud-rate index (first byte)
//   "2"  parity code (first byte)    "3"  data bits (first byte)
//   "4"  2: two stop bits, else one  "5"  write the payload to the device
//   any other command: ignored.
// A frame with length 0 ends the connection, whatever its command. Returns 0.
int CtrlClientThreadProc(ClientParams params);
