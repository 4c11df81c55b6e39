#pragma once
// What the engine needs of the window that drives it. The Qt dialog and the
// headless host implement ServerView; the engine (server_engine.h) calls it.
//
// Controls of the dialog and who touches them:
//   Device (1002), Data port (1003), Ctrl port (1004) edit boxes
//       -> DeviceText(), DataPortText(), CtrlPortText(): read by the engine
//          on the UI thread at Start, at Stop (ports, to wake the listeners)
//          and at a printer restart request (device). Return the texts as
//          the dialog last took them from its edit boxes.
//   Start/Stop button (1001)  -> SetButtonText(): "Start Server"/"Stop Server"
//   status line (1000)        -> SetStatusText(): "Server gestartet"/"Server gestoppt"
//   data status (1011), ctrl status (1010)
//                             -> SetChannelStatus(): "connected", "" (connection
//                                ended) or " " (Stop)
//   main window               -> Minimise(): after Start
//   log list (1007)           -> the engine's LogList model (log_list.h); the
//                                view observes it with a LogListObserver.
//   settings without a control -> BindText(), MaxClients(), Rfc2217Port():
//                                read at Start.
//
// Threads: SetButtonText, SetStatusText, Minimise and the three text getters
// are called on the thread that calls ServerEngine's operations (the UI
// thread). SetChannelStatus is called from worker threads as well: a GUI must
// hand it to its own thread without waiting for it (queued), and it must
// never block on a worker. Message boxes do not go through the view: they use
// the process-wide handler of platform/message_box.h and are raised on the
// worker thread that hit the failure.
#include <cstdint>
#include <string>

enum class Channel { Data, Ctrl };

// The texts the engine shows.
inline constexpr const char* kButtonStart = "Start Server";
inline constexpr const char* kButtonStop = "Stop Server";
inline constexpr const char* kStatusIdle = "Server angehalten";  // the dialog's text at start-up
inline constexpr const char* kStatusStarted = "Server gestartet";
inline constexpr const char* kStatusStopped = "Server gestoppt";
inline constexpr const char* kChannelConnected = "connected";
inline constexpr int kDefaultMaxClients = 64;

class ServerView {
public:
    virtual ~ServerView() = default;

    virtual std::string DeviceText() = 0;
    virtual std::string DataPortText() = 0;
    virtual std::string CtrlPortText() = 0;

    virtual void SetButtonText(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetChannelStatus(Channel channel, const std::string& text) = 0;
    virtual void Minimise() = 0;

    // The address both listeners bind to ("" for all interfaces) and the
    // number of clients served at once; read at Start.
    virtual std::string BindText() { return ""; }
    virtual int MaxClients() { return kDefaultMaxClients; }
    // The telnet COM-PORT port, 0 for none; read at Start.
    virtual uint16_t Rfc2217Port() { return 0; }
};
