#include "terminals/terminal_port.h"

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

#include "platform/device_name.h"
#include "platform/serial_port.h"
#include "platform/system_error.h"

namespace terminal_port {

namespace {

std::mutex g_mutex;
std::map<int, std::shared_ptr<platform::SerialPort>> g_ports;
// The next handle to give out; counts up for the life of the process.
int g_nextHandle = 1;

std::shared_ptr<platform::SerialPort> Find(int handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_ports.find(handle);
    return it == g_ports.end() ? nullptr : it->second;
}

std::shared_ptr<platform::SerialPort> FindOrFail(int handle) {
    auto port = Find(handle);
    if (!port) platform::SetLastError(EBADF);
    return port;
}

}  // namespace

bool IsOpen(int handle) { return handle > 0 && Find(handle) != nullptr; }

bool Open(int& handle, const std::string& name) {
    handle = kClosed;
    auto port = std::make_shared<platform::SerialPort>();
    if (!port->Open(platform::DevicePath(name))) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_nextHandle <= 0) {  // two thousand million opens: refuse rather than reuse
        port->Close();
        platform::SetLastError(EMFILE);
        return false;
    }
    handle = g_nextHandle++;
    g_ports[handle] = std::move(port);
    return true;
}

bool Configure(int handle, int stopBits) {
    auto port = FindOrFail(handle);
    if (!port) return false;
    platform::LineSettings line;
    line.baudRate = 9600;
    line.dataBits = 8;
    line.parity = platform::Parity::Even;
    line.stopBits = static_cast<uint8_t>(stopBits);
    line.parityCheck = true;
    line.rtsCtsFlow = true;
    return port->SetSettings(line) && port->SetDtr(true);
}

void Close(int& handle) {
    std::shared_ptr<platform::SerialPort> port;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_ports.find(handle);
        if (it != g_ports.end()) {
            port = std::move(it->second);
            g_ports.erase(it);
        }
    }
    if (port) port->Close();
    handle = kClosed;
}

int Read(int handle, unsigned char* buffer, size_t size, int timeoutMs) {
    auto port = FindOrFail(handle);
    if (!port) return -1;
    return static_cast<int>(port->ReadFirstByte(buffer, size, timeoutMs));
}

bool Write(int handle, const unsigned char* data, size_t size, int timeoutMs) {
    auto port = FindOrFail(handle);
    if (!port) return false;
    return port->Write(data, size, timeoutMs) == static_cast<ssize_t>(size);
}

bool Cts(int handle, bool& on) {
    auto port = FindOrFail(handle);
    return port && port->GetCts(on);
}

int LastError() { return platform::LastError(); }
void SetLastError(int code) { platform::SetLastError(code); }

}  // namespace terminal_port
