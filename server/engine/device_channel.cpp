#include "server/engine/device_channel.h"

#include <poll.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>

#include "platform/baud_rates.h"
#include "platform/device_name.h"
#include "platform/message_box.h"
#include "platform/system_error.h"
#include "server/engine/socket_error.h"

namespace {

using platform::LineSettings;
using platform::Parity;

// How long a new run waits for the previous one to let go of the device
// (a Stop followed at once by a Start, as the printer restart does).
constexpr int kBusyRetryMs = 1000;
// Rounds of the emptying of the input at start (10 ms apart).
constexpr int kEmptyingRounds = 10;

void ShowDeviceError(const char* prefix) {
    platform::MessageBox(std::string(prefix) + platform::SystemErrorText(), kMessageCaption,
                         platform::MB_ICONEXCLAMATION);
}

// Reads the line, lets change() alter one field, writes it back. A failed
// read closes the device; a failed write closes it when closeOnSetFailure.
template <class Change>
void ChangeLine(const DeviceHandle& device, Change change, bool closeOnSetFailure) {
    LineSettings line;
    if (!device) {
        platform::SetLastError(EBADF);
        ShowDeviceError("Could not get device parameters: ");
        return;
    }
    if (!device->GetSettings(line)) {
        ShowDeviceError("Could not get device parameters: ");
        CloseDevice(device);
        return;
    }
    change(line);
    if (!device->SetSettings(line)) {
        ShowDeviceError("Could not set device parameters: ");
        if (closeOnSetFailure) CloseDevice(device);
    }
}

bool IsPrinterPortName(const std::string& name) {
    std::string bare = name;
    if (!bare.empty() && bare.back() == ':') bare.pop_back();
    if (strcasecmp(bare.c_str(), "prn") == 0) return true;
    return bare.size() > 3 && strncasecmp(bare.c_str(), "lpt", 3) == 0 &&
           bare.find_first_not_of("0123456789", 3) == std::string::npos;
}

// Hands what was read to the receiving client, if there is one.
void Deliver(const uint8_t* data, size_t size, RunGeneration& generation, EngineContext& context) {
    if (g_bClientConnected.load() != 1) return;
    const auto result = g_hClientSocket.SendAll(data, size, generation.deviceStop.fd(), kDeviceWriteStallMs);
    if (result == ClientSocketSlot::SendResult::Stalled) {
        context.log.AddLogLine("send - " + SocketErrorText(WSAGetLastError()));
    }
}

}  // namespace

bool IsPrinterDevice(const std::string& name) {
    return name.compare(0, 3, "lpt") == 0 || name.compare(0, 3, "prn") == 0;
}

std::string DeviceOpenPath(const std::string& name) {
    const char* printerDir = std::getenv("TOVAN_PRINTER_DIR");
    if (printerDir != nullptr && *printerDir != '\0' && IsPrinterPortName(name)) {
        return std::string(printerDir) + "/" + name;
    }
    return platform::DevicePath(name);
}

uint32_t BaudRateForIndex(unsigned index) { return platform::BaudRateForIndex(index); }

int DeviceThreadProc(DeviceThreadParams params) {
    RunGeneration& generation = *params.generation;
    EngineContext& context = *params.context;
    const bool printer = IsPrinterDevice(params.deviceName);
    const std::string path = DeviceOpenPath(params.deviceName);

    auto device = std::make_shared<platform::SerialPort>();
    bool opened = device->Open(path);
    for (int waited = 0; !opened && platform::LastError() == EBUSY && waited < kBusyRetryMs; waited += 20) {
        if (generation.deviceStop.Wait(20)) return 1;
        opened = device->Open(path);
    }
    if (!opened) {
        ShowDeviceError("Could not open device: ");
        return 0;
    }

    if (!printer) {
        LineSettings line;
        if (!device->GetSettings(line)) {
            ShowDeviceError("Could not get device parameters: ");
            return 0;  // the device closes with its last reference
        }
        // 9600 8N1, no output handshake, no XON/XOFF, DTR on; reads never
        // block (the descriptor is non-blocking). The result is not checked:
        // the line keeps what the driver accepted.
        line.baudRate = 9600;
        line.dataBits = 8;
        line.parity = Parity::None;
        line.stopBits = 1;
        line.parityCheck = false;
        line.rtsCtsFlow = false;
        device->SetSettings(line);
        device->SetDtr(true);
    }

    // Empty the input: whatever waited before the start is not for any
    // client. Read until a read brings nothing, 10 ms apart, but only for a
    // few rounds: a device that never stops sending would otherwise keep the
    // thread here for ever, deaf to its stop event.
    device->FlushInput();
    uint8_t buffer[kDeviceReadChunk];
    for (int round = 0; round < kEmptyingRounds && device->ReadAvailable(buffer, sizeof buffer) > 0; ++round) {
        if (generation.deviceStop.Wait(10)) {
            return 1;  // stopped before it began; the device closes with its last reference
        }
    }

    g_hDevice.store(device);

    // Wake on the stop event, on device data, or every 20 ms. A device whose
    // reads fail (hung up) is no longer polled, only read every 20 ms.
    bool readFailing = false;
    for (;;) {
        pollfd fds[2] = {{generation.deviceStop.fd(), POLLIN, 0},
                         {(!printer && device && !readFailing) ? device->fd() : -1, POLLIN, 0}};
        poll(fds, 2, kDevicePollMs);
        if (generation.deviceStop.TryConsume()) break;
        if (!device) continue;
        if (g_hDevice.load() != device) {
            // Closed by a failed line-parameter operation: let go of it.
            device.reset();
            continue;
        }
        if (printer) continue;
        // Read again while reads come back full, so fast lines are kept up with.
        for (;;) {
            const ssize_t n = device->ReadAvailable(buffer, sizeof buffer);
            if (n < 0) {
                readFailing = true;
                break;
            }
            readFailing = false;
            if (n == 0) break;
            Deliver(buffer, static_cast<size_t>(n), generation, context);
            if (static_cast<size_t>(n) < sizeof buffer) break;
        }
    }
    if (device) CloseDevice(device);
    return 1;
}

bool WriteToDevice(const void* data, size_t size) {
    const DeviceHandle device = g_hDevice.load();
    if (!device) {
        platform::SetLastError(EBADF);
        return false;
    }
    return device->Write(data, size, kDeviceWriteStallMs) >= 0;
}

void CloseDevice(const DeviceHandle& device) {
    DeviceHandle expected = device;
    g_hDevice.compare_exchange_strong(expected, nullptr);
}

void SetDeviceBaudRate(const DeviceHandle& device, uint8_t index) {
    ChangeLine(
        device,
        [index](LineSettings& line) {
            if (const uint32_t rate = BaudRateForIndex(index)) line.baudRate = rate;
        },
        true);
}

void SetDeviceParity(const DeviceHandle& device, uint8_t value) {
    ChangeLine(
        device,
        [value](LineSettings& line) {
            line.parity = static_cast<Parity>(value);
            line.parityCheck = value != 0;
        },
        true);
}

void SetDeviceByteSize(const DeviceHandle& device, uint8_t value) {
    ChangeLine(device, [value](LineSettings& line) { line.dataBits = value; }, true);
}

void SetDeviceStopBits(const DeviceHandle& device, uint8_t value) {
    ChangeLine(device, [value](LineSettings& line) { line.stopBits = value == 2 ? 2 : 1; }, false);
}
