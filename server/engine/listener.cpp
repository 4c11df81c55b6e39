#include "server/engine/listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "server/engine/control_connection.h"
#include "server/engine/data_connection.h"
#include "server/engine/net_socket.h"
#include "server/engine/rfc2217_connection.h"
#include "server/engine/server_state.h"

namespace {

// How long a wake-up connection may take.
constexpr int kWakeConnectMs = 50;

using ClientThreadProc = int (*)(ClientParams);

bool Stopping(const RunGeneration& generation) {
    return g_bStopServer.load() == 1 || generation.stop.IsSet();
}

// Waits until a client is waiting on the listening socket or the run stops.
// True when a client can be accepted.
bool WaitForClient(const CNetSocket& net, const RunGeneration& generation) {
    pollfd fds[2] = {{net.ListeningSocket(), POLLIN, 0}, {generation.stop.fd(), POLLIN, 0}};
    for (;;) {
        const int r = poll(fds, 2, -1);
        if (r < 0) continue;  // EINTR
        if (fds[1].revents & POLLIN) return false;
        if (fds[0].revents) return true;
    }
}

int ListenLoop(ListenerParams params, ClientThreadProc clientProc, bool telnet = false) {
    RunGeneration& generation = *params.generation;
    EngineContext& context = *params.context;
    CNetSocket net;
    bool listening = false;
    // A passing accept failure is logged once until an accept succeeds again.
    bool acceptFailing = false;
    while (!Stopping(generation)) {
        if (!listening) {
            if (net.Listen(params.port, params.bindAddress) != 0) {
                net.CloseSockets();
                context.log.AddLogLine(net.LastErrorText());
                generation.stop.Wait(kListenRetryMs);
                continue;
            }
            listening = true;
            generation.stop.Wait(kListenerPollMs);
            continue;
        }
        if (!WaitForClient(net, generation)) break;
        const int socket = net.Accept();
        if (socket == -1) {
            if (IsTransientAcceptError(net.LastErrno())) {
                if (!acceptFailing) context.log.AddLogLine(net.LastErrorText());
                acceptFailing = true;
                generation.stop.Wait(kAcceptRetryMs);
                continue;
            }
            context.log.AddLogLine(net.LastErrorText());
            listening = false;
            generation.stop.Wait(kListenerPollMs);
            continue;
        }
        acceptFailing = false;
        // The connection thread owns the socket from here on.
        net.ReleaseSocket();
        if (context.ConnectionCount() >= params.maxClients) {
            close(socket);
            context.log.AddLogLine("closed " + net.PeerText() + ": " + std::to_string(params.maxClients) +
                                   " clients are connected");
            continue;
        }
        ClientParams client;
        client.channel = params.channel;
        client.context = params.context;
        client.socket = socket;
        client.peer = net.PeerText();
        client.output = std::make_shared<ClientOutput>(socket, telnet);
        context.RegisterConnection(socket);
        g_hClientSocket.Set(client.output);
        g_bClientConnected.store(1);
        if (!context.StartThread([clientProc, client] { clientProc(client); })) {
            g_hClientSocket.ClearIf(socket);
            client.output->Close();
            context.UnregisterConnection(socket);
            close(socket);
            context.log.AddLogLine("Can't create thread");
        }
    }
    return 0;  // net closes the listening socket
}

// Tells the run that its listener has closed its socket.
struct ListenerCount {
    explicit ListenerCount(std::shared_ptr<RunGeneration> g) : generation(std::move(g)) {}
    ~ListenerCount() { generation->ListenerEnded(); }
    std::shared_ptr<RunGeneration> generation;
};

}  // namespace

int CtrlListenThreadProc(ListenerParams params) {
    ListenerCount count(params.generation);
    return ListenLoop(std::move(params), CtrlClientThreadProc);
}

int DataListenThreadProc(ListenerParams params) {
    ListenerCount count(params.generation);
    return ListenLoop(std::move(params), DataClientThreadProc);
}

int Rfc2217ListenThreadProc(ListenerParams params) {
    ListenerCount count(params.generation);
    return ListenLoop(std::move(params), Rfc2217ClientThreadProc, true);
}

void WakeListener(uint16_t port, const std::string& bindAddress) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (bindAddress.empty() || inet_pton(AF_INET, bindAddress.c_str(), &target.sin_addr) != 1 ||
        target.sin_addr.s_addr == htonl(INADDR_ANY)) {
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return;
    if (connect(s, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0 && errno == EINPROGRESS) {
        pollfd p{s, POLLOUT, 0};
        poll(&p, 1, kWakeConnectMs);
    }
    close(s);
}
