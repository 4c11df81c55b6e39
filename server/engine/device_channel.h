#pragma once
// The local device: opening and setting up the line, the device thread that
// reads it and hands the bytes to the receiving client, writes from the
// connections, and the four line-parameter operations of the control port.
//
// Device names: a name that begins with the three bytes "lpt" or "prn"
// (lower case) is a printer device: opened, never configured, never read.
// Names map onto Linux paths as platform::DevicePath does (COM1 is
// /dev/ttyS0, lpt1 is /dev/lp0, an absolute path is used as it is). When the
// environment variable TOVAN_PRINTER_DIR is set, the printer-port names
// (lptN, prn, in any case) open <TOVAN_PRINTER_DIR>/<name> instead, so a FIFO
// or a plain file can stand in for a printer.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "server/engine/engine_context.h"
#include "server/engine/server_state.h"

struct DeviceThreadParams {
    std::string deviceName;
    std::shared_ptr<RunGeneration> generation;  // its deviceStop is the stop event
    std::shared_ptr<EngineContext> context;
};

// A device write that gets no byte accepted for this long fails (ETIMEDOUT).
inline constexpr int kDeviceWriteStallMs = 10000;
// Bytes read from the device at once, and the poll period of the device thread.
inline constexpr size_t kDeviceReadChunk = 64 * 1024;
inline constexpr int kDevicePollMs = 20;

bool IsPrinterDevice(const std::string& name);
std::string DeviceOpenPath(const std::string& name);

// The device thread: 0 when opening or setting up the device failed, 1 when
// it ended on the stop event. What it reads belongs to the receiver of the
// moment (g_hClientSocket) and goes out through that client's queue; bytes
// read while there is no receiver, or that find the queue full, are counted
// and logged as dropped. It also sends the queued bytes of every client.
int DeviceThreadProc(DeviceThreadParams params);

// Writes all bytes to the current device. False with the reason as the
// thread's last error (EBADF when no device is open, ETIMEDOUT for a device
// that stopped taking bytes).
bool WriteToDevice(const void* data, size_t size);

// Closes the device for every user: the slot stops naming it (if it still
// does) and writes waiting for room end; the descriptor goes when the last
// running call has finished.
void CloseDevice(const DeviceHandle& device);

// Line-parameter operations of the control port; failures are shown in a
// message box (see device_channel.cpp). value is the frame's unsigned byte.
void SetDeviceBaudRate(const DeviceHandle& device, uint8_t index);
void SetDeviceParity(const DeviceHandle& device, uint8_t value);
void SetDeviceByteSize(const DeviceHandle& device, uint8_t value);
void SetDeviceStopBits(const DeviceHandle& device, uint8_t value);

// The same line change for the COM-PORT option of the telnet port, which
// answers its client instead of showing message boxes: change (none for a
// query) alters the line as read from the device, and applied is the line
// afterwards as the serial-port layer records it. A change the device
// refuses leaves the line as it was, the device open, and the reason in
// error. False, with the reason in error, when the line could not be read
// (no device; a failed read closes the device, as on the control port).
bool ChangeDeviceLineQuietly(const DeviceHandle& device, const std::function<void(platform::LineSettings&)>& change,
                             platform::LineSettings& applied, std::string& error);

// Baud rate for a table index 0..14, 0 for any other index.
uint32_t BaudRateForIndex(unsigned index);
