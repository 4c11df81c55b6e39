#include "server/engine/control_connection.h"

#include <cstdint>

#include "platform/system_error.h"
#include "server/engine/device_channel.h"
#include "server/engine/net_socket.h"
#include "server/engine/socket_error.h"

int CtrlClientThreadProc(ClientParams params) {
    CNetSocket net;
    net.SetSocket(params.socket);
    const std::string peer = BeginConnection(params);
    EngineContext& context = *params.context;
    uint8_t buffer[256];
    for (;;) {
        int r = net.ReceiveExact(buffer, 2);
        if (r < 0) {
            context.log.AddLogLine(SocketErrorText(WSAGetLastError()));
            break;
        }
        if (r == 0) break;
        const uint8_t command = buffer[0];
        const int length = buffer[1];
        r = net.ReceiveExact(buffer, length);
        if (r < 0) {
            context.log.AddLogLine(SocketErrorText(WSAGetLastError()));
            break;
        }
        if (r == 0) break;  // the client closed, or a frame without payload
        bool end = false;
        switch (command) {
            case '0': end = true; break;
            case '1': SetDeviceBaudRate(g_hDevice.load(), buffer[0]); break;
            case '2': SetDeviceParity(g_hDevice.load(), buffer[0]); break;
            case '3': SetDeviceByteSize(g_hDevice.load(), buffer[0]); break;
            case '4': SetDeviceStopBits(g_hDevice.load(), buffer[0]); break;
            case '5':
                if (!WriteToDevice(buffer, static_cast<size_t>(length))) {
                    LogDeviceWriteError(context, platform::LastError());
                    end = true;
                }
                break;
            default: break;
        }
        if (end) break;
    }
    EndConnection(params, peer);
    return 0;  // net closes the socket
}
