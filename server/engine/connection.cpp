#include "server/engine/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>

#include "server/engine/server_state.h"

std::string PeerTextOf(int socket) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "";
    char dotted[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted);
    char port[8];
    std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(ntohs(peer.sin_port)));
    return std::string(dotted) + ":" + port;
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
    params.context->UnregisterConnection(params.socket);
}

void LogDeviceWriteError(EngineContext& context, int code) {
    context.log.AddLogLine("WriteFile err# " + std::to_string(code));
}
