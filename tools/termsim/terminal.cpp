#include "termsim/terminal.h"

#include <stdexcept>

#include "termsim/g81_commands.h"

namespace termsim {

Family ParseFamily(const std::string& name) {
    if (name == "g81" || name == "G81") return Family::G81;
    if (name == "cherry" || name == "pki")
        throw std::invalid_argument("the " + name + " terminal family is not simulated yet; available: g81");
    throw std::invalid_argument("unknown terminal family \"" + name + "\"; available: g81");
}

const char* FamilyName(Family family) {
    switch (family) {
        case Family::G81: return "G81";
    }
    return "?";
}

Terminal::Terminal(const TerminalOptions& options) : options_(options) {
    switch (options_.family) {
        case Family::G81:
            commands_ = std::make_unique<G81Commands>(slot_, faults_, trace_);
            link_ = std::make_unique<T1TerminalLink>(*commands_, faults_, trace_, options_.t1);
            break;
    }
}

Terminal::~Terminal() { Stop(); }

void Terminal::Start() {
    if (thread_.joinable()) return;
    stop_.Reset();
    thread_ = std::thread([this] {
        Wire wire(port_, stop_.fd(), options_.timeScale);
        link_->Serve(wire);
    });
}

void Terminal::Stop() {
    if (!thread_.joinable()) return;
    stop_.Set();
    thread_.join();
    stop_.Reset();
}

}  // namespace termsim
