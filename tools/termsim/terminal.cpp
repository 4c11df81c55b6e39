#include "termsim/terminal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "termsim/cherry_commands.h"
#include "termsim/g81_commands.h"
#include "termsim/pki_commands.h"

namespace termsim {

Family ParseFamily(const std::string& name) {
    if (name == "g81" || name == "G81") return Family::G81;
    if (name == "cherry" || name == "Cherry") return Family::Cherry;
    if (name == "pki" || name == "PKI") return Family::Pki;
    throw std::invalid_argument("unknown terminal family \"" + name + "\"; available: g81, cherry, pki");
}

const char* FamilyName(Family family) {
    switch (family) {
        case Family::G81: return "G81";
        case Family::Cherry: return "Cherry";
        case Family::Pki: return "PKI";
    }
    return "?";
}

Terminal::Terminal(const TerminalOptions& options) : options_(options) {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) throw std::runtime_error(std::string("cannot create an event: ") + std::strerror(errno));
    switch (options_.family) {
        case Family::G81:
            commands_ = std::make_unique<G81Commands>(slot_, faults_, trace_);
            link_ = std::make_unique<T1TerminalLink>(*commands_, faults_, trace_, options_.t1);
            break;
        case Family::Cherry:
            commands_ = std::make_unique<CherryCommands>(slot_, faults_, trace_);
            link_ = std::make_unique<T1TerminalLink>(*commands_, faults_, trace_, options_.t1);
            break;
        case Family::Pki: {
            auto commands = std::make_unique<PkiCommands>(slot_, faults_, trace_, options_.pki.successStatus);
            link_ = std::make_unique<PkiTerminalLink>(*commands, faults_, trace_, options_.pki);
            commands_ = std::move(commands);
            break;
        }
    }
}

Terminal::~Terminal() {
    Stop();
    if (!cts_) SetCts(true);
    close(stopFd_);
}

namespace {
constexpr const char* kCtsOffVariable = "PLATFORM_PTY_CTS_OFF";

// The colon-separated device list with `path` added or taken out.
std::string EditPathList(const std::string& list, const std::string& path, bool add) {
    std::string out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(start, end - start);
        if (!item.empty() && item != path) out += (out.empty() ? "" : ":") + item;
        start = end + 1;
    }
    if (add) out += (out.empty() ? "" : ":") + path;
    return out;
}
}  // namespace

void Terminal::SetCts(bool on) {
    cts_ = on;
    const char* current = std::getenv(kCtsOffVariable);
    std::string list = EditPathList(current ? current : "", Path(), !on);
    if (list.empty())
        unsetenv(kCtsOffVariable);
    else
        setenv(kCtsOffVariable, list.c_str(), 1);
}

void Terminal::Start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] {
        Wire wire(port_, stopFd_, options_.timeScale);
        link_->Serve(wire);
    });
}

void Terminal::Stop() {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    (void)!write(stopFd_, &one, sizeof one);
    thread_.join();
    uint64_t value;
    (void)!read(stopFd_, &value, sizeof value);
}

}  // namespace termsim
