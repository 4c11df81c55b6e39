#include "server/engine/server_state.h"

std::atomic<int32_t> g_bStopServer{0};
std::atomic<int32_t> g_bClientConnected{0};
ClientSocketSlot g_hClientSocket;
std::atomic<DeviceHandle> g_hDevice;
