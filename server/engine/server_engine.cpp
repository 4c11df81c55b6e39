#include "server/engine/server_engine.h"

#include <cstdlib>

#include "platform/message_box.h"
#include "server/engine/device_channel.h"
#include "server/engine/listener.h"
#include "server/engine/server_state.h"

namespace {
// How long Start waits for the listeners of the previous run to close their
// sockets (they end within milliseconds of Stop), and how long the engine's
// end waits for its threads.
constexpr int kPreviousRunWaitMs = 2000;
constexpr int kShutdownWaitMs = 3000;
}  // namespace

uint16_t PortFromText(const std::string& text) {
    return static_cast<uint16_t>(std::atoi(text.c_str()));
}

ServerEngine::ServerEngine(ServerView& view) : view_(view), context_(std::make_shared<EngineContext>()) {
    context_->AttachView(&view_);
    g_bClientConnected.store(0);
}

ServerEngine::~ServerEngine() { Shutdown(kShutdownWaitMs); }

bool ServerEngine::Shutdown(int waitMs) {
    if (running_ == 0) Stop();
    context_->DetachView();
    context_->log.SetObserver(nullptr);
    // Connections that outlived Stop end with the program.
    context_->ShutdownConnections();
    return context_->WaitIdle(waitMs);
}

void ServerEngine::OnStartStop() {
    if (running_ == 0) {
        Stop();
    } else {
        Start();
    }
}

void ServerEngine::OnExit() {
    running_ = 0;
    OnStartStop();
}

void ServerEngine::OnRestartDevice() {
    const std::string device = view_.DeviceText();
    if (!IsPrinterDevice(device)) return;
    OnStartStop();
    OnStartStop();
}

void ServerEngine::Start() {
    view_.SetButtonText(kButtonStop);
    view_.SetStatusText(kStatusStarted);
    running_ = 0;
    g_bStopServer.store(0);

    // Listeners of the previous run must have let go of their ports.
    if (generation_) generation_->WaitListenersGone(kPreviousRunWaitMs);
    generation_ = std::make_shared<RunGeneration>();

    bindAddress_ = view_.BindText();
    maxClients_ = view_.MaxClients() > 0 ? view_.MaxClients() : kDefaultMaxClients;

    DeviceThreadParams device;
    device.deviceName = view_.DeviceText();
    device.generation = generation_;
    device.context = context_;
    if (!context_->StartThread([device] { DeviceThreadProc(device); })) {
        platform::MessageBox("Can't create thread", kMessageCaption, platform::MB_ICONEXCLAMATION);
        return;
    }
    StartCtrlListener();
    StartDataListener();
    rfc2217Port_ = view_.Rfc2217Port();
    if (rfc2217Port_ != 0) StartListener(Channel::Data, rfc2217Port_, true);
    view_.Minimise();
}

void ServerEngine::StartCtrlListener() { StartListener(Channel::Ctrl, PortFromText(view_.CtrlPortText())); }

void ServerEngine::StartDataListener() { StartListener(Channel::Data, PortFromText(view_.DataPortText())); }

void ServerEngine::StartListener(Channel channel, uint16_t port, bool telnet) {
    ListenerParams params;
    params.channel = channel;
    params.port = port;
    params.bindAddress = bindAddress_;
    params.maxClients = maxClients_;
    params.context = context_;
    params.generation = generation_;
    generation_->ListenerStarted();
    auto proc = telnet ? Rfc2217ListenThreadProc : channel == Channel::Ctrl ? CtrlListenThreadProc : DataListenThreadProc;
    if (!context_->StartThread([proc, params] { proc(params); })) {
        generation_->ListenerEnded();
        platform::MessageBox("Can't create thread", kMessageCaption, platform::MB_ICONEXCLAMATION);
    }
}

void ServerEngine::Stop() {
    g_bStopServer.store(1);
    // The run's stop signal ends a listener waiting for a client even where
    // no wake-up connection can reach it (a port text that is no number
    // gives port 0, bound to a port the system chose). Set first, it also
    // keeps the wake-up connections from being served as clients.
    if (generation_) generation_->stop.Set();
    WakeListener(PortFromText(view_.CtrlPortText()), bindAddress_);
    WakeListener(PortFromText(view_.DataPortText()), bindAddress_);
    if (rfc2217Port_ != 0) WakeListener(rfc2217Port_, bindAddress_);
    if (generation_) generation_->deviceStop.Set();
    // A write that waits for a device taking nothing ends now, so the device
    // is free before the next run opens it.
    CloseDevice(g_hDevice.load());
    view_.SetChannelStatus(Channel::Data, " ");
    view_.SetChannelStatus(Channel::Ctrl, " ");
    context_->log.ResetContent();
    view_.SetButtonText(kButtonStart);
    view_.SetStatusText(kStatusStopped);
    running_ = -1;
}

bool ServerEngine::WaitForWorkers(int timeoutMs) { return context_->WaitIdle(timeoutMs); }
