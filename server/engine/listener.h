#pragma once
// The two listeners: each accepts any number of clients on its port and
// starts one connection thread per client (data or control). Every accepted
// client becomes the receiver of the device's data.
#include <cstdint>
#include <memory>

#include "server/engine/connection.h"
#include "server/engine/engine_context.h"

struct ListenerParams {
    Channel channel = Channel::Data;
    uint16_t port = 0;
    std::shared_ptr<EngineContext> context;
    std::shared_ptr<RunGeneration> generation;
};

// Pause after a failed listen before the next try. The pause ends early when
// the run is stopped.
inline constexpr int kListenRetryMs = 60000;
inline constexpr int kListenerPollMs = 10;

int CtrlListenThreadProc(ListenerParams params);
int DataListenThreadProc(ListenerParams params);

// Opens a connection to 127.0.0.1:port and closes it at once, so that a
// listener blocked waiting for a client looks at its stop flag. Silent.
void WakeListener(uint16_t port);
