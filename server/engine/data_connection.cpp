#include "server/engine/data_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/system_error.h"
#include "server/engine/device_channel.h"
#include "server/engine/socket_error.h"

int DataClientThreadProc(ClientParams params) {
    const std::string peer = BeginConnection(params);
    std::vector<char> buffer(kClientReceiveChunk);
    for (;;) {
        const ssize_t n = recv(params.socket, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            params.context->log.AddLogLine(SocketErrorText(SaveSocketErrno()));
            break;
        }
        if (n == 0) break;
        if (!WriteToDevice(buffer.data(), static_cast<size_t>(n))) {
            LogDeviceWriteError(*params.context, platform::LastError());
            break;
        }
    }
    EndConnection(params, peer);
    close(params.socket);
    return 0;
}
