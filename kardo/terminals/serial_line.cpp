// A card terminal on a local serial port.
#include "platform/device_name.h"
#include "platform/serial_port.h"
#include "terminals/terminal_line.h"

namespace terminal_port {

namespace {

class SerialLine : public TerminalLine {
public:
    bool Open(const std::string& name) { return port_.Open(platform::DevicePath(name)); }

    bool Configure(int stopBits) override {
        platform::LineSettings line;
        line.baudRate = 9600;
        line.dataBits = 8;
        line.parity = platform::Parity::Even;
        line.stopBits = static_cast<uint8_t>(stopBits);
        line.parityCheck = true;
        line.rtsCtsFlow = true;
        return port_.SetSettings(line) && port_.SetDtr(true);
    }
    int Read(unsigned char* buffer, size_t size, int timeoutMs) override {
        return static_cast<int>(port_.ReadFirstByte(buffer, size, timeoutMs));
    }
    bool Write(const unsigned char* data, size_t size, int timeoutMs) override {
        return port_.Write(data, size, timeoutMs) == static_cast<ssize_t>(size);
    }
    bool Cts(bool& on) override { return port_.GetCts(on); }
    void Close() override { port_.Close(); }

private:
    platform::SerialPort port_;
};

}  // namespace

std::unique_ptr<TerminalLine> OpenSerialLine(const std::string& name) {
    auto line = std::make_unique<SerialLine>();
    if (!line->Open(name)) return nullptr;
    return line;
}

}  // namespace terminal_port
