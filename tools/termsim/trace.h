#pragma once
// A record of every block that crosses the line, in both directions. Text lines
// (hex bytes with a short decoding) go to a sink when tracing is on; an
// observer, if set, gets the raw bytes of every block, for tests.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace termsim {

using Bytes = std::vector<uint8_t>;

enum class Direction { HostToTerminal, TerminalToHost };

// "12 C0 00 D2": upper-case hex, one space between bytes.
std::string HexBytes(const uint8_t* data, size_t count);
inline std::string HexBytes(const Bytes& b) { return HexBytes(b.data(), b.size()); }

class Trace {
public:
    using Sink = std::function<void(const std::string& line)>;
    using Observer = std::function<void(Direction, const Bytes& block)>;

    Trace();

    // An empty sink turns the text trace off.
    void SetSink(Sink sink);
    void SetObserver(Observer observer);

    // One block as it went over the line; `what` is a short decoding.
    void Block(Direction direction, const Bytes& bytes, const std::string& what);
    // A remark between blocks (a fault that fired, a card inserted).
    void Note(const std::string& text);

private:
    std::string Stamp() const;

    std::mutex mutex_;
    Sink sink_;
    Observer observer_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace termsim
