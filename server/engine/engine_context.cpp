#include "server/engine/engine_context.h"

#include <sys/socket.h>

#include <chrono>
#include <system_error>
#include <thread>

void RunGeneration::ListenerStarted() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++listeners_;
}

void RunGeneration::ListenerEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    --listeners_;
    changed_.notify_all();
}

bool RunGeneration::WaitListenersGone(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return listeners_ == 0; });
}

void EngineContext::SetChannelStatus(Channel channel, const std::string& text) {
    std::lock_guard<std::mutex> lock(viewMutex_);
    if (view_) view_->SetChannelStatus(channel, text);
}

void EngineContext::AttachView(ServerView* view) {
    std::lock_guard<std::mutex> lock(viewMutex_);
    view_ = view;
}

void EngineContext::DetachView() { AttachView(nullptr); }

bool EngineContext::StartThread(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        ++threads_;
    }
    try {
        std::thread([this, fn = std::move(fn)] {
            fn();
            std::lock_guard<std::mutex> lock(threadsMutex_);
            --threads_;
            threadsChanged_.notify_all();
        }).detach();
        return true;
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        --threads_;
        threadsChanged_.notify_all();
        return false;
    }
}

bool EngineContext::WaitIdle(int timeoutMs) {
    std::unique_lock<std::mutex> lock(threadsMutex_);
    return threadsChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return threads_ == 0; });
}

void EngineContext::RegisterConnection(int socket) {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    connections_.insert(socket);
}

void EngineContext::UnregisterConnection(int socket) {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    connections_.erase(socket);
}

void EngineContext::ShutdownConnections() {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    for (int s : connections_) shutdown(s, SHUT_RDWR);
}

int EngineContext::ConnectionCount() {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    return static_cast<int>(connections_.size());
}

void EngineContext::CountDropped(uint64_t bytes) {
    if (bytes > 0) dropped_.fetch_add(bytes);
}

void EngineContext::LogDropped(bool final) {
    std::lock_guard<std::mutex> lock(droppedMutex_);
    if (dropped_.load() == 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (!final && lastDroppedLine_ != std::chrono::steady_clock::time_point{} &&
        now - lastDroppedLine_ < std::chrono::seconds(1)) {
        return;
    }
    lastDroppedLine_ = now;
    log.AddLogLine("dropped " + std::to_string(dropped_.exchange(0)) + " bytes of device data");
}
