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

#include "loopback_port.h"
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

// The bytes the device must get from one connection's input. A parity code
// above 4 or data bits outside 5 to 8 cannot be set: the failure closes the
// device (with a message box), and nothing reaches it after that.
std::vector<uint8_t> ExpectedDeviceBytes(const uint8_t* data, size_t size, bool& closesDevice) {
    std::vector<uint8_t> out;
    closesDevice = false;
    size_t at = 0;
    while (size - at >= 2) {
        const uint8_t command = data[at];
        const size_t length = data[at + 1];
        at += 2;
        if (length == 0 || size - at < length || command == '0') break;
        const uint8_t value = data[at];
        if ((command == '2' && value > 4) || (command == '3' && (value < 5 || value > 8))) {
            closesDevice = true;
            break;
        }
        if (command == '5') out.insert(out.end(), data + at, data + at + length);
        at += length;
    }
    return out;
}

int g_master = -1;
uint16_t g_ctrl = 0;
ServerEngine* g_engine = nullptr;

// Start returns before the device thread has opened the device: a frame that
// came sooner would find no device. So a "5" frame with one byte goes out
// until the byte arrives at the far end of the line.
void WaitForDevice() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int client = Connect(g_ctrl);
        const uint8_t probe[] = {'5', 1, 'Z'};
        send(client, probe, sizeof probe, MSG_NOSIGNAL);
        shutdown(client, SHUT_WR);
        pollfd p{client, POLLIN, 0};
        char sink[64];
        while (poll(&p, 1, 1000) > 0 && recv(client, sink, sizeof sink, 0) > 0) {
        }
        close(client);
        uint8_t byte = 0;
        bool arrived = false;
        for (int i = 0; i < 20 && !arrived; ++i) {
            while (read(g_master, &byte, 1) == 1) arrived = arrived || byte == 'Z';
            if (!arrived) usleep(1000);
        }
        if (arrived) return;
    }
    fprintf(stderr, "the device never opened\n");
    std::abort();
}

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
    view.data = std::to_string(testsupport::FreePort());
    g_ctrl = testsupport::FreePort();
    view.ctrl = std::to_string(g_ctrl);
    g_engine = new ServerEngine(view);
    g_engine->OnStartStop();
    WaitForDevice();
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
    // frame ended it; one that it keeps open is caught by the fuzzer's
    // time-out for an input (-timeout, 10 s in scripts/fuzz).
    char sink[512];
    while (recv(client, sink, sizeof sink, 0) > 0) {
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
    bool closed = false;
    const std::vector<uint8_t> expected = ExpectedDeviceBytes(data, size, closed);
    if (got != expected) {
        fprintf(stderr, "the device got %zu bytes, the frames carried %zu\n", got.size(), expected.size());
        std::abort();
    }
    // A closed device stays closed until the next run: Stop and Start.
    if (closed) {
        g_engine->OnStartStop();
        g_engine->OnStartStop();
        WaitForDevice();
    }
    return 0;
}
