#include "server/engine/connection.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include "server/engine/net_socket.h"
#include "server/engine/server_state.h"

std::string PeerTextOf(int socket) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "";
    return PeerTextFor(peer);
}

std::string BeginConnection(const ClientParams& params) {
    std::string peer = PeerTextOf(params.socket);
    // A client that has already gone leaves no address; the listener saw it.
    if (peer.empty()) peer = params.peer;
    params.context->log.AddString(peer, LogLineKind::Peer);
    params.context->SetChannelStatus(params.channel, kChannelConnected);
    return peer;
}

void EndConnection(const ClientParams& params, const std::string& peer) {
    params.context->log.DeletePeerLine(peer);
    params.context->SetChannelStatus(params.channel, "");
    g_hClientSocket.ClearIf(params.socket);
    if (params.output) {
        // A client that only stopped sending still reads: what was read for
        // it goes out first, unless it takes nothing any more.
        params.output->WaitDrained(kClientDrainStallMs);
        params.context->CountDropped(params.output->Close());
    }
    params.context->UnregisterConnection(params.socket);
}

void LogDeviceWriteError(EngineContext& context, int code) {
    context.log.AddLogLine("WriteFile err# " + std::to_string(code));
}
