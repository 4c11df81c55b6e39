#include "server/engine/device_channel.h"

#include <poll.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <vector>
#include <cstdlib>
#include <functional>

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

// Reads the line, lets change() alter it, writes it back. A failed read
// closes the device; a failed write closes it when closeOnSetFailure. Each
// failure is shown in a message box, or, when quiet, only left in error.
// after gets the line as it stands at the end. False when the line could not
// be read.
template <class Change>
bool ChangeLine(const DeviceHandle& device, Change change, bool closeOnSetFailure, bool quiet = false,
                LineSettings* after = nullptr, std::string* error = nullptr) {
    auto fail = [&](const char* prefix) {
        if (error) *error = std::string(prefix) + platform::SystemErrorText();
        if (!quiet) ShowDeviceError(prefix);
    };
    LineSettings line;
    if (!device) {
        platform::SetLastError(EBADF);
        fail("Could not get device parameters: ");
        return false;
    }
    if (!device->GetSettings(line)) {
        fail("Could not get device parameters: ");
        CloseDevice(device);
        return false;
    }
    const LineSettings before = line;
    change(line);
    if (!device->SetSettings(line)) {
        fail("Could not set device parameters: ");
        if (closeOnSetFailure) {
            CloseDevice(device);
        } else if (after && !device->GetSettings(*after)) {
            *after = before;  // a refused change leaves the line as it was
        }
        return true;
    }
    if (after && !device->GetSettings(*after)) *after = line;
    return true;
}

}  // namespace

bool ChangeDeviceLineQuietly(const DeviceHandle& device, const std::function<void(LineSettings&)>& change,
                             LineSettings& applied, std::string& error) {
    error.clear();
    return ChangeLine(
        device, [&change](LineSettings& line) {
            if (change) change(line);
        },
        false, true, &applied, &error);
}

namespace {

bool IsPrinterPortName(const std::string& name) {
    std::string bare = name;
    if (!bare.empty() && bare.back() == ':') bare.pop_back();
    if (strcasecmp(bare.c_str(), "prn") == 0) return true;
    return bare.size() > 3 && strncasecmp(bare.c_str(), "lpt", 3) == 0 &&
           bare.find_first_not_of("0123456789", 3) == std::string::npos;
}

// The clients whose queues hold bytes, each with its socket in the poll set.
class Outbox {
public:
    explicit Outbox(EngineContext& context) : context_(context) {}
    ~Outbox() {
        // The thread ends: what is still queued reaches nobody.
        for (const auto& output : waiting_) context_.CountDropped(output->Discard());
    }

    // The receiver of the moment, taken before each read: what the read
    // brings belongs to it.
    static std::shared_ptr<ClientOutput> Receiver() {
        return g_bClientConnected.load() == 1 ? g_hClientSocket.Receiver() : nullptr;
    }
    // What was read goes to its receiver, or is dropped when there was none.
    void Deliver(std::shared_ptr<ClientOutput> receiver, const uint8_t* data, size_t size) {
        if (!receiver) {
            context_.CountDropped(size);
            return;
        }
        context_.CountDropped(receiver->Deliver(data, size));
        if (receiver->Pending() && std::find(waiting_.begin(), waiting_.end(), receiver) == waiting_.end()) {
            waiting_.push_back(std::move(receiver));
        }
    }
    // Adds the sockets that have bytes waiting, for room to send.
    void AddTo(std::vector<pollfd>& fds) const {
        for (const auto& output : waiting_) fds.push_back({output->socket(), POLLOUT, 0});
    }
    // Sends what the sockets take now; forgets clients that have nothing left.
    void Flush() {
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            context_.CountDropped((*it)->Flush());
            it = (*it)->Pending() ? it + 1 : waiting_.erase(it);
        }
    }

private:
    EngineContext& context_;
    std::vector<std::shared_ptr<ClientOutput>> waiting_;
};

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

    auto device = std::make_shared<ServerDevice>();
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
    std::vector<uint8_t> data(kDeviceReadChunk);
    for (int round = 0; round < kEmptyingRounds && device->ReadAvailable(data.data(), data.size()) > 0; ++round) {
        if (generation.deviceStop.Wait(10)) {
            return 1;  // stopped before it began; the device closes with its last reference
        }
    }

    g_hDevice.store(device);

    // Wake on the stop event, on device data, on room in a client socket
    // that has bytes waiting, or every 20 ms. A device whose reads fail (hung
    // up) is no longer polled, only read every 20 ms.
    bool readFailing = false;
    {
        Outbox outbox(context);
        std::vector<pollfd> fds;
        for (;;) {
            fds.assign({{generation.deviceStop.fd(), POLLIN, 0},
                        {(!printer && device && !readFailing) ? device->fd() : -1, POLLIN, 0}});
            outbox.AddTo(fds);
            poll(fds.data(), fds.size(), kDevicePollMs);
            if (generation.deviceStop.TryConsume()) break;
            outbox.Flush();
            context.LogDropped(false);
            if (!device) continue;
            if (g_hDevice.load() != device) {
                // Closed by a failed line-parameter operation: let go of it.
                device.reset();
                continue;
            }
            if (printer) continue;
            // Read again while reads come back full, so fast lines are kept up with.
            for (;;) {
                auto receiver = Outbox::Receiver();
                const ssize_t n = device->ReadAvailable(data.data(), data.size());
                if (n < 0) {
                    readFailing = true;
                    break;
                }
                readFailing = false;
                if (n == 0) break;
                outbox.Deliver(std::move(receiver), data.data(), static_cast<size_t>(n));
                if (static_cast<size_t>(n) < data.size()) break;
            }
        }
    }
    if (device) CloseDevice(device);
    context.LogDropped(true);
    return 1;
}

bool WriteToDevice(const void* data, size_t size) {
    const DeviceHandle device = g_hDevice.load();
    if (!device) {
        platform::SetLastError(EBADF);
        return false;
    }
    return device->Write(data, size, kDeviceWriteStallMs, nullptr, device->closed.fd()) >= 0;
}

void CloseDevice(const DeviceHandle& device) {
    if (!device) return;
    device->closed.Set();
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
