#pragma once
// The redirection engine as the main window drives it: one Start/Stop button,
// a printer restart request, and the exit path. The engine does not depend on
// any toolkit; the window implements ServerView (server_view.h) and observes
// the log list (log_list.h).
//
// Usage by a window (Qt dialog or headless host), all on its UI thread:
//   ServerEngine engine(view);              // dialog start-up: stopped
//   engine.Log().SetObserver(&observer);    // mirror the log list
//   engine.OnStartStop();                   // "Start Server" / "Stop Server"
//   engine.OnRestartDevice();               // external printer restart request
//   engine.OnExit();                        // leaving the window: runs Stop
// The destructor ends what is still running (live connections included),
// waits a bounded time for the threads, and detaches view and observer.
//
// Start: button "Stop Server", status "Server gestartet", starts the device
// thread for DeviceText() and the listeners on CtrlPortText() and
// DataPortText() (and on Rfc2217Port() when it is not 0) (decimal text as atoi reads it, truncated to 16 bits; text
// that is not a number gives port 0), then asks the view to minimise.
// Stop: wakes and ends both listeners and the device thread, sets both
// channel status fields to " ", empties the log list, button "Start Server",
// status "Server gestoppt". Stop waits for no thread; connections that are
// live keep running until their client closes.
#include <cstdint>
#include <memory>
#include <string>

#include "server/engine/engine_context.h"
#include "server/engine/log_list.h"
#include "server/engine/server_view.h"

class ServerEngine {
public:
    explicit ServerEngine(ServerView& view);
    ~ServerEngine();
    ServerEngine(const ServerEngine&) = delete;
    ServerEngine& operator=(const ServerEngine&) = delete;

    // The Start/Stop button: starts when stopped, stops when running.
    void OnStartStop();
    // Restart request for a printer device: when the Device text begins with
    // "lpt" or "prn", OnStartStop twice (a running server closes and reopens
    // the printer; a stopped one starts and stops). Otherwise nothing.
    void OnRestartDevice();
    // Leaving the window: the Stop path runs whatever the state.
    void OnExit();

    // -1 stopped, 0 running.
    int RunningState() const { return running_; }
    bool IsRunning() const { return running_ == 0; }

    LogList& Log() { return context_->log; }

    // Waits until every worker thread (device, listeners, connections) has
    // ended; false on time-out. For hosts and tests.
    bool WaitForWorkers(int timeoutMs);
    // The program ends: runs Stop if running, ends live connections, detaches
    // view and log observer, waits up to waitMs for the threads. True when
    // all have ended. The destructor does the same with a few seconds.
    bool Shutdown(int waitMs);

private:
    void Start();
    void Stop();
    void StartCtrlListener();
    void StartDataListener();
    void StartListener(Channel channel, uint16_t port, bool telnet = false);

    // Read from the view at Start, kept for the wake-up at Stop.
    std::string bindAddress_;
    int maxClients_ = kDefaultMaxClients;
    uint16_t rfc2217Port_ = 0;

    ServerView& view_;
    std::shared_ptr<EngineContext> context_;
    std::shared_ptr<RunGeneration> generation_;
    int running_ = -1;
};

// atoi of a port text, truncated to 16 bits.
uint16_t PortFromText(const std::string& text);
