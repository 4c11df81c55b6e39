#pragma once
// The listeners (data, control and, when configured, the telnet COM-PORT
// port): each accepts any number of clients on its port and
// starts one connection thread per client (data or control). Every accepted
// client becomes the receiver of the device's data.
#include <cstdint>
#include <memory>
#include <string>

#include "server/engine/connection.h"
#include "server/engine/engine_context.h"

struct ListenerParams {
    Channel channel = Channel::Data;
    uint16_t port = 0;
    std::string bindAddress;  // "" for all interfaces
    int maxClients = kDefaultMaxClients;
    std::shared_ptr<EngineContext> context;
    std::shared_ptr<RunGeneration> generation;
};

// Pause after a failed listen before the next try. The pause ends early when
// the run is stopped.
inline constexpr int kListenRetryMs = 60000;
inline constexpr int kListenerPollMs = 10;
// Pause after an accept that failed for a passing reason (out of
// descriptors): the listening socket and its waiting clients stay.
inline constexpr int kAcceptRetryMs = 100;

int CtrlListenThreadProc(ListenerParams params);
int DataListenThreadProc(ListenerParams params);
// The telnet port: its clients are data clients that speak telnet and the
// COM-PORT option (rfc2217_connection.h); their status field is the data
// port's.
int Rfc2217ListenThreadProc(ListenerParams params);

// Opens a connection to port on the address a listener is bound to
// (127.0.0.1 for all interfaces) and closes it at once, so that a listener
// blocked waiting for a client looks at its stop flag. Silent, and never
// waits long: a listener with a full backlog does not answer.
void WakeListener(uint16_t port, const std::string& bindAddress = "");
