#include "terminals/terminal_port.h"

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

#include "platform/system_error.h"
#include "terminals/terminal_line.h"
#include "terminals/tovan_line.h"

namespace terminal_port {

namespace {

std::mutex g_mutex;
std::map<int, std::shared_ptr<TerminalLine>> g_ports;
// The next handle to give out; counts up for the life of the process.
int g_nextHandle = 1;

std::shared_ptr<TerminalLine> Find(int handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_ports.find(handle);
    return it == g_ports.end() ? nullptr : it->second;
}

std::shared_ptr<TerminalLine> FindOrFail(int handle) {
    auto port = Find(handle);
    if (!port) platform::SetLastError(EBADF);
    return port;
}

}  // namespace

bool IsOpen(int handle) { return handle > 0 && Find(handle) != nullptr; }

bool Open(int& handle, const std::string& name) {
    handle = kClosed;
    std::shared_ptr<TerminalLine> port(IsTovanName(name) ? OpenTovanLine(name) : OpenSerialLine(name));
    if (!port) return false;
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
    return port && port->Configure(stopBits);
}

void Close(int& handle) {
    std::shared_ptr<TerminalLine> port;
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
    return port->Read(buffer, size, timeoutMs);
}

bool Write(int handle, const unsigned char* data, size_t size, int timeoutMs) {
    auto port = FindOrFail(handle);
    if (!port) return false;
    return port->Write(data, size, timeoutMs);
}

bool Cts(int handle, bool& on) {
    auto port = FindOrFail(handle);
    return port && port->Cts(on);
}

int LastError() { return platform::LastError(); }
void SetLastError(int code) { platform::SetLastError(code); }

}  // namespace terminal_port
