#include "server/ui/headless_host.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>

#include "platform/message_box.h"
#include "server/engine/server_engine.h"
#include "server/ui/server_signal_set.h"

HeadlessHost::HeadlessHost(std::string device, std::string dataPort, std::string ctrlPort, std::FILE* out)
    : device_(std::move(device)), dataPort_(std::move(dataPort)), ctrlPort_(std::move(ctrlPort)), out_(out) {}

void HeadlessHost::Print(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

void HeadlessHost::SetStatusText(const std::string& text) { Print(text); }

void HeadlessHost::OnLineAdded(int, const std::string& line, LogLineKind kind) {
    Print(kind == LogLineKind::Peer ? "connected " + line : line);
}

void HeadlessHost::OnLineDeleted(int, const std::string& line, LogLineKind kind) {
    if (kind == LogLineKind::Peer) Print("disconnected " + line);
}

namespace {

// Message boxes: the text on standard error, nobody to press a button.
int PrintMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    // The default handler's line and cautious answer, without the line break
    // that system error texts end in.
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return platform::DefaultMessageBox(line, caption, flags);
}

// How long the program waits for its threads after Stop before it ends anyway.
constexpr int kExitWaitMs = 700;

}  // namespace

int RunHeadless(const std::string& device, const std::string& dataPort, const std::string& ctrlPort) {
    // Signals are taken by this thread alone (sigwait); every thread started
    // later inherits the mask, so no system call of a worker is interrupted.
    const sigset_t signals = BlockServerSignals();
    signal(SIGPIPE, SIG_IGN);

    platform::SetMessageBoxHandler(PrintMessageBox);
    HeadlessHost host(device, dataPort, ctrlPort);
    bool clean;
    {
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
        if (!clean) {
            // A thread is still blocked (a device that takes no bytes): the
            // program ends without waiting for it.
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(0);
        }
    }
    return 0;
}
