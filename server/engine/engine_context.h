#pragma once
// What the engine's threads share beyond the process-wide words: the log
// list, the way to the view's status fields, the count of running worker
// threads, the live client sockets, and the signals of one server run.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/event.h"
#include "server/engine/log_list.h"
#include "server/engine/server_view.h"

// The caption of the server's message boxes.
inline constexpr const char* kMessageCaption = "tovan";

// One Start..Stop run. Each run has its own signals, so a quick Stop and
// Start (the printer restart) can never let a thread of the old run miss its
// stop, nor one of the new run see the old one.
class RunGeneration {
public:
    // The device thread's stop event.
    platform::AutoResetEvent deviceStop;
    // Ends the listeners: their wait for a client and their pause after a
    // failed listen.
    platform::ManualResetEvent stop;

    void ListenerStarted();
    void ListenerEnded();
    // Waits until every listener of the run has closed its socket.
    bool WaitListenersGone(int timeoutMs);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int listeners_ = 0;
};

class EngineContext {
public:
    LogList log;

    // Forwards to the view while one is attached.
    void SetChannelStatus(Channel channel, const std::string& text);
    void AttachView(ServerView* view);
    void DetachView();

    // Starts fn on a new thread that is counted until fn returns. False when
    // no thread could be made.
    bool StartThread(std::function<void()> fn);
    // Waits until no counted thread runs; false on time-out.
    bool WaitIdle(int timeoutMs);

    // Live client sockets, so that the engine's end can end their connections.
    void RegisterConnection(int socket);
    // Must be called before the socket is closed.
    void UnregisterConnection(int socket);
    void ShutdownConnections();
    int ConnectionCount();

    // Device data that reached no client: read while nobody was the
    // receiver, beyond a full client queue, or queued for a client that went.
    void CountDropped(uint64_t bytes);
    // Logs "dropped N bytes of device data" for what was counted since the
    // previous such line: at most once a second, at once when final (Stop).
    void LogDropped(bool final);

private:
    std::mutex viewMutex_;
    ServerView* view_ = nullptr;

    std::mutex threadsMutex_;
    std::condition_variable threadsChanged_;
    int threads_ = 0;

    std::mutex connectionsMutex_;
    std::set<int> connections_;

    std::atomic<uint64_t> dropped_{0};
    std::mutex droppedMutex_;
    std::chrono::steady_clock::time_point lastDroppedLine_{};
};
