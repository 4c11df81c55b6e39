#include "server/engine/listener.h"

#include <poll.h>
#include <unistd.h>

#include "server/engine/control_connection.h"
#include "server/engine/data_connection.h"
#include "server/engine/net_socket.h"
#include "server/engine/server_state.h"

namespace {

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

int ListenLoop(ListenerParams params, ClientThreadProc clientProc) {
    RunGeneration& generation = *params.generation;
    EngineContext& context = *params.context;
    CNetSocket net;
    bool listening = false;
    while (!Stopping(generation)) {
        if (!listening) {
            if (net.Listen(params.port) != 0) {
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
            context.log.AddLogLine(net.LastErrorText());
            listening = false;
            generation.stop.Wait(kListenerPollMs);
            continue;
        }
        // The connection thread owns the socket from here on.
        net.ReleaseSocket();
        ClientParams client;
        client.channel = params.channel;
        client.context = params.context;
        client.socket = socket;
        client.peer = net.PeerText();
        context.RegisterConnection(socket);
        g_hClientSocket.Set(socket);
        g_bClientConnected.store(1);
        if (!context.StartThread([clientProc, client] { clientProc(client); })) {
            g_hClientSocket.ClearIf(socket);
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

void WakeListener(uint16_t port) {
    CNetSocket net;
    net.Connect(port, "127.0.0.1");
}
