#pragma once
// The window of the server when there is no window: it runs the engine on
// the given settings, prints every log line and every peer line that comes or
// goes to standard output as it happens, prints message-box texts to standard
// error without waiting, and turns signals into the window's actions:
// SIGINT/SIGTERM leave (Stop, then the program ends with 0), SIGUSR1 is the
// printer restart request.
//
// Output lines:
//   "Server gestartet" / "Server gestoppt"      the status line
//   "connected <address:port>"                 a peer line came
//   "disconnected <address:port>"              a peer line went
//   "<time stamp> - <text>"                    a log line
#include <cstdio>
#include <mutex>
#include <string>

#include "server/engine/log_list.h"
#include "server/engine/server_view.h"

class HeadlessHost : public ServerView, public LogListObserver {
public:
    HeadlessHost(std::string device, std::string dataPort, std::string ctrlPort, std::FILE* out = stdout);

    std::string DeviceText() override { return device_; }
    std::string DataPortText() override { return dataPort_; }
    std::string CtrlPortText() override { return ctrlPort_; }
    void SetButtonText(const std::string&) override {}
    void SetStatusText(const std::string& text) override;
    void SetChannelStatus(Channel, const std::string&) override {}
    void Minimise() override {}

    void OnLineAdded(int index, const std::string& line, LogLineKind kind) override;
    void OnLineDeleted(int index, const std::string& line, LogLineKind kind) override;
    void OnReset() override {}

private:
    void Print(const std::string& line);

    std::string device_, dataPort_, ctrlPort_;
    std::FILE* out_;
    std::mutex mutex_;
};

// Runs the server headless until SIGINT or SIGTERM; returns the exit code.
int RunHeadless(const std::string& device, const std::string& dataPort, const std::string& ctrlPort);
