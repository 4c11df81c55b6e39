// tovan's control port reading any bytes a client sends. The engine runs on a
// pseudo-terminal; each input goes to the control port on one connection.
// What must hold: the connection ends when the bytes do, the engine goes on
// serving, and the device gets exactly the payloads of the "5" frames that
// stand before the first frame that ends the connection.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "server/engine/server_engine.h"

namespace {

class FixedView : public ServerView {
public:
    std::string device, data, ctrl;
    std::string DeviceText() override { return device; }
    std::string DataPortText() override { return data; }
    std::string CtrlPortText() override { return ctrl; }
    void SetButtonText(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void SetChannelStatus(Channel, const std::string&) override {}
    void Minimise() override {}
};

uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

int Connect(uint16_t port) {
    for (int attempt = 0; attempt < 500; ++attempt) {
        const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return s;
        close(s);
        usleep(2000);
    }
    std::abort();
}

// The bytes the device must get from one connection's input.
std::vector<uint8_t> ExpectedDeviceBytes(const uint8_t* data, size_t size) {
    std::vector<uint8_t> out;
    size_t at = 0;
    while (size - at >= 2) {
        const uint8_t command = data[at];
        const size_t length = data[at + 1];
        at += 2;
        if (length == 0 || size - at < length || command == '0') break;
        if (command == '5') out.insert(out.end(), data + at, data + at + length);
        at += length;
    }
    return out;
}

int g_master = -1;
uint16_t g_ctrl = 0;
ServerEngine* g_engine = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return platform::IDOK; });
    int slave = -1;
    char name[256];
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&g_master, &slave, name, &raw, nullptr) != 0) std::abort();
    fcntl(g_master, F_SETFL, fcntl(g_master, F_GETFL) | O_NONBLOCK);
    static FixedView view;
    view.device = name;
    view.data = std::to_string(FreePort());
    g_ctrl = FreePort();
    view.ctrl = std::to_string(g_ctrl);
    g_engine = new ServerEngine(view);
    g_engine->OnStartStop();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int client = Connect(g_ctrl);
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = send(client, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;  // the server ended the connection early, as it may
        sent += static_cast<size_t>(n);
    }
    shutdown(client, SHUT_WR);
    // The server closes the connection once the bytes have run out or a
    // frame ended it; it must never keep it open.
    pollfd p{client, POLLIN, 0};
    char sink[512];
    for (;;) {
        if (poll(&p, 1, 5000) <= 0) {
            fprintf(stderr, "the control connection stayed open after its last byte\n");
            std::abort();
        }
        const ssize_t n = recv(client, sink, sizeof sink, 0);
        if (n <= 0) break;
    }
    close(client);

    std::vector<uint8_t> got;
    uint8_t buffer[4096];
    for (int quiet = 0; quiet < 3;) {
        const ssize_t n = read(g_master, buffer, sizeof buffer);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
            quiet = 0;
        } else {
            ++quiet;
            usleep(500);
        }
    }
    if (got != ExpectedDeviceBytes(data, size)) {
        fprintf(stderr, "the device got %zu bytes, the frames carried %zu\n", got.size(),
                ExpectedDeviceBytes(data, size).size());
        std::abort();
    }
    return 0;
}
