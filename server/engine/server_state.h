#pragma once
// The process-wide words the server's threads share.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/event.h"
#include "platform/serial_port.h"
#include "server/engine/client_socket_slot.h"

// The open device. Users take a reference for the length of one call
// (g_hDevice.load()); the descriptor is closed when the last reference goes,
// so its number cannot be reused while anybody still uses it. "Closing" the
// device empties the slot (CloseDevice in device_channel.h); from then on no
// new call reaches it.
// Closing also sets the device's closed event, which ends a write that waits
// for room at once (ECANCELED): a device that takes nothing must not keep its
// descriptor, and so its lock, beyond the run.
class ServerDevice : public platform::SerialPort {
public:
    platform::ManualResetEvent closed;
};
using DeviceHandle = std::shared_ptr<ServerDevice>;

// Listener loops run while it is not 1. Start sets 0, Stop sets 1.
extern std::atomic<int32_t> g_bStopServer;
// Set to 1 by every successful accept; device data is sent only while it is 1.
extern std::atomic<int32_t> g_bClientConnected;
// The socket that receives device data: the most recently accepted client.
extern ClientSocketSlot g_hClientSocket;
// The device, nullptr while none is open.
extern std::atomic<DeviceHandle> g_hDevice;
