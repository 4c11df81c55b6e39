#pragma once
// What the data and control connections share: their parameters, the peer
// line and status field at start and end, and the log line of a failed
// device write.
#include <memory>
#include <string>

#include "server/engine/client_socket_slot.h"
#include "server/engine/engine_context.h"

// Each connection thread gets its own copy.
struct ClientParams {
    Channel channel = Channel::Data;
    std::shared_ptr<EngineContext> context;
    int socket = -1;
    std::string peer;  // "address:port" as the listener's accept saw it
    std::shared_ptr<ClientOutput> output;  // the device data on its way to this client
};

// Receive buffer of a data connection: whatever has arrived goes to the
// device in one write.
inline constexpr size_t kClientReceiveChunk = 64 * 1024;

inline constexpr int kClientDrainStallMs = 2000;

// "dotted address:decimal port" of the socket's peer ("" when unknown).
std::string PeerTextOf(int socket);

// Adds the peer line and shows "connected"; returns the peer text.
std::string BeginConnection(const ClientParams& params);
// Removes the peer line, empties the status field, stops the client being
// the receiver, lets the bytes still queued for it go out while its socket
// takes them (up to kClientDrainStallMs without progress), and makes sure no
// device data goes to the socket any more (what is left is counted as
// dropped). The caller closes the socket afterwards.
void EndConnection(const ClientParams& params, const std::string& peer);
// "<time stamp> - WriteFile err# <code>"
void LogDeviceWriteError(EngineContext& context, int code);
