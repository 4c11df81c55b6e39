#include "termsim/trace.h"

#include <cstdio>

namespace termsim {

std::string HexBytes(const uint8_t* data, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

Trace::Trace() : start_(std::chrono::steady_clock::now()) {}

void Trace::SetSink(Sink sink) {
    std::lock_guard<std::mutex> lock(mutex_);
    sink_ = std::move(sink);
}

void Trace::SetObserver(Observer observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

std::string Trace::Stamp() const {
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char text[32];
    std::snprintf(text, sizeof text, "%9.3f", seconds);
    return text;
}

void Trace::Block(Direction direction, const Bytes& bytes, const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (observer_) observer_(direction, bytes);
    if (!sink_) return;
    std::string line = Stamp();
    line += direction == Direction::HostToTerminal ? "  host > term  " : "  term > host  ";
    line += HexBytes(bytes);
    if (!what.empty()) line += "   (" + what + ")";
    sink_(line);
}

void Trace::Note(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sink_) sink_(Stamp() + "  -- " + text);
}

}  // namespace termsim
