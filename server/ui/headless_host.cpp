#include "server/ui/headless_host.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/message_box.h"
#include "server/engine/server_engine.h"
#include "server/ui/server_signal_set.h"

HeadlessHost::HeadlessHost(HeadlessSettings settings, OutputQueue& out)
    : settings_(std::move(settings)), out_(out) {}

void HeadlessHost::SetStatusText(const std::string& text) { out_.Write(text); }

void HeadlessHost::OnLineAdded(int, const std::string& line, LogLineKind kind) {
    out_.Write(kind == LogLineKind::Peer ? "connected " + line : line);
}

void HeadlessHost::OnLineDeleted(int, const std::string& line, LogLineKind kind) {
    if (kind == LogLineKind::Peer) out_.Write("disconnected " + line);
}

namespace {

// How long the program waits for its threads after Stop, and for its output,
// before it ends anyway.
constexpr int kExitWaitMs = 500;
constexpr int kOutputWaitMs = 150;

}  // namespace

int RunHeadless(const HeadlessSettings& settings) {
    // Signals are taken by this thread alone (sigwait); every thread started
    // later inherits the mask, so no system call of a worker is interrupted.
    const sigset_t signals = BlockServerSignals();
    signal(SIGPIPE, SIG_IGN);

    auto* out = new OutputQueue(STDOUT_FILENO);
    auto* errors = new OutputQueue(STDERR_FILENO);
    // Message boxes: the default handler's line on standard error (without
    // the line break that system error texts end in), nobody to press a
    // button, and no waiting for the terminal.
    platform::SetMessageBoxHandler([errors](const std::string& text, const std::string& caption, unsigned flags) {
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        errors->Write(caption + ": " + line);
        return platform::DefaultAnswer(flags);
    });
    bool clean;
    {
        HeadlessHost host(settings, *out);
        ServerEngine engine(host);
        engine.Log().SetObserver(&host);
        engine.OnStartStop();
        for (;;) {
            int sig = 0;
            if (sigwait(&signals, &sig) != 0) continue;
            if (sig == SIGUSR1) {
                engine.OnRestartDevice();
                continue;
            }
            break;  // SIGINT, SIGTERM
        }
        engine.OnExit();
        clean = engine.Shutdown(kExitWaitMs);
        clean = out->Drain(kOutputWaitMs) && errors->Drain(kOutputWaitMs) && clean;
        if (!clean) {
            // A thread is still blocked (a device that takes no bytes, an
            // output nobody reads): the program ends without waiting for it.
            std::_Exit(0);
        }
    }
    platform::SetMessageBoxHandler(nullptr);
    delete errors;
    delete out;
    return 0;
}
