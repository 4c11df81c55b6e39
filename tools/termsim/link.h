#pragma once
// The two layers every simulated terminal family is made of: a link protocol
// that takes blocks or frames off the line, and a command set that executes
// the commands they carry. The G81 and Cherry families share the T=1 link and
// differ in their command sets; the PKI family brings its own frame protocol.
#include <cstdint>
#include <string>
#include <vector>

#include "termsim/pty_port.h"
#include "termsim/trace.h"

namespace termsim {

// The line as a link protocol sees it: the pty's master side, a stop signal
// and a time scale that tests use to make long waits short.
class Wire {
public:
    enum class Result { Ok, Timeout, Stopped, Failed };

    Wire(PtyPort& port, int stopFd, double timeScale);

    // Reads exactly `count` bytes. The first byte may take `firstTimeoutMs`
    // (negative: wait until stopped), each further byte `nextTimeoutMs`, both
    // scaled. `got` tells how many arrived.
    Result Read(uint8_t* buffer, size_t count, int firstTimeoutMs, int nextTimeoutMs, size_t& got);
    bool Write(const Bytes& bytes);
    // Sleeps for the scaled time; false when stopped meanwhile.
    bool Pause(int milliseconds);
    int Scaled(int milliseconds) const;

private:
    PtyPort& port_;
    int stopFd_;
    double timeScale_;
};

// Executes one command and gives the response bytes, data first, status word last.
class CommandSet {
public:
    virtual ~CommandSet() = default;
    // `destination` and `source` are the node addresses of the block that carried it.
    virtual Bytes Execute(int destination, int source, const Bytes& command) = 0;
};

class LinkProtocol {
public:
    virtual ~LinkProtocol() = default;
    // Serves the host on the wire until the wire reports Stopped.
    virtual void Serve(Wire& wire) = 0;
};

}  // namespace termsim
