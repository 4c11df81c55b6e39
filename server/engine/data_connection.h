#pragma once
#include "server/engine/connection.h"

// A raw data connection: every byte the client sends is written to the
// device unchanged, as it arrives. Ends when the client
// closes (silently), on a receive failure or a failed device write (each
// with a log line). Returns 0.
int DataClientThreadProc(ClientParams params);
