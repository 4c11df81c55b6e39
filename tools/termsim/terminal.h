#pragma once
// A simulated card terminal on a pseudo-terminal: a link protocol and a command
// set of one terminal family, a card slot, scripted faults and a trace, served
// by a thread of its own from Start() until Stop().
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "termsim/card_slot.h"
#include "termsim/faults.h"
#include "termsim/link.h"
#include "termsim/pki_link.h"
#include "termsim/pty_port.h"
#include "termsim/t1_link.h"
#include "termsim/trace.h"

namespace termsim {

enum class Family { G81, Cherry, Pki };

// "g81" -> G81, "cherry" -> Cherry, "pki" -> Pki; throws std::invalid_argument naming the families there are.
Family ParseFamily(const std::string& name);
const char* FamilyName(Family family);

struct TerminalOptions {
    Family family = Family::G81;
    // Multiplies every wait of the simulator; tests set it below 1.
    double timeScale = 1.0;
    T1Settings t1;
    PkiSettings pki;
};

class Terminal {
public:
    explicit Terminal(const TerminalOptions& options = {});
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // The device path for the program under test.
    const std::string& Path() const { return port_.SlavePath(); }
    PtyPort& Port() { return port_; }

    void Start();
    // Stops serving and waits for the serving thread; safe to call twice.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    CardSlot& Slot() { return slot_; }
    FaultScript& Faults() { return faults_; }
    Trace& GetTrace() { return trace_; }

    // The terminal's clear-to-send line. A pseudo-terminal has no modem
    // lines; programs of this process see the state through the serial
    // layer's switch PLATFORM_PTY_CTS_OFF, which SetCts keeps up to date
    // for this terminal's device. Another process must be started with
    // PLATFORM_PTY_CTS_OFF=<device path> to see CTS off.
    void SetCts(bool on);
    bool Cts() const { return cts_; }

private:
    TerminalOptions options_;
    PtyPort port_;
    CardSlot slot_;
    FaultScript faults_;
    Trace trace_;
    std::unique_ptr<CommandSet> commands_;
    std::unique_ptr<LinkProtocol> link_;
    int stopFd_ = -1;  // an eventfd, readable once Stop() was called
    std::thread thread_;
    std::atomic<bool> cts_{true};
};

}  // namespace termsim
