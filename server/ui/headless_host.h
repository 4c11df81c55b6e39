#pragma once
// The window of the server when there is no window: it runs the engine on
// the given settings, prints every log line and every peer line that comes or
// goes to standard output as it happens, prints message-box texts to standard
// error without waiting, and turns signals into the window's actions:
// SIGINT/SIGTERM leave (Stop, then the program ends with 0), SIGUSR1 is the
// printer restart request.
//
// Output never holds up the server: lines go through an OutputQueue
// (output_queue.h), so a standard output that nobody reads costs lines
// (counted), never a connection, device data or the end on SIGTERM.
//
// Output lines:
//   "Server gestartet" / "Server gestoppt"      the status line
//   "connected <address:port>"                 a peer line came
//   "disconnected <address:port>"              a peer line went
//   "<time stamp> - <text>"                    a log line
#include <string>

#include "server/engine/log_list.h"
#include "server/engine/server_view.h"
#include "server/ui/output_queue.h"

// What a headless run serves.
struct HeadlessSettings {
    std::string device;
    std::string dataPort;
    std::string ctrlPort;
    std::string bindAddress;  // "" for all interfaces
    int maxClients = kDefaultMaxClients;
    uint16_t rfc2217Port = 0;  // 0: no telnet COM-PORT port
};

class HeadlessHost : public ServerView, public LogListObserver {
public:
    HeadlessHost(HeadlessSettings settings, OutputQueue& out);

    std::string DeviceText() override { return settings_.device; }
    std::string DataPortText() override { return settings_.dataPort; }
    std::string CtrlPortText() override { return settings_.ctrlPort; }
    std::string BindText() override { return settings_.bindAddress; }
    int MaxClients() override { return settings_.maxClients; }
    uint16_t Rfc2217Port() override { return settings_.rfc2217Port; }
    void SetButtonText(const std::string&) override {}
    void SetStatusText(const std::string& text) override;
    void SetChannelStatus(Channel, const std::string&) override {}
    void Minimise() override {}

    void OnLineAdded(int index, const std::string& line, LogLineKind kind) override;
    void OnLineDeleted(int index, const std::string& line, LogLineKind kind) override;
    void OnReset() override {}

private:
    HeadlessSettings settings_;
    OutputQueue& out_;
};

// Runs the server headless until SIGINT or SIGTERM; returns the exit code.
int RunHeadless(const HeadlessSettings& settings);
