#include "server/engine/log_list.h"

#include <strings.h>

#include <algorithm>

#include "server/engine/log_time_stamp.h"

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

void LogList::DropOldestLocked() {
    int oldest = -1;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (oldest >= 0) {
            const Line& o = lines_[oldest];
            // A log line goes before any peer line; among equals the older one.
            const bool better = (l.kind == LogLineKind::Log && o.kind == LogLineKind::Peer) ||
                                (l.kind == o.kind && l.arrival < o.arrival);
            if (!better) continue;
        }
        oldest = static_cast<int>(i);
    }
    if (oldest >= 0) DeleteLocked(oldest);
}

int LogList::AddString(const std::string& line, LogLineKind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lines_.size() >= kMaxLines) DropOldestLocked();
    // After any equal lines: equal texts keep their order of arrival.
    auto at = std::upper_bound(lines_.begin(), lines_.end(), line,
                               [](const std::string& l, const Line& r) { return LessIgnoringCase(l, r.text); });
    const int index = static_cast<int>(at - lines_.begin());
    lines_.insert(at, Line{line, kind, arrivals_++});
    if (observer_) observer_->OnLineAdded(index, line, kind);
    return index;
}

int LogList::AddLogLine(const std::string& text) { return AddString(LogTimeStamp() + " - " + text, LogLineKind::Log); }

int LogList::FindLocked(const std::string& prefix) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (StartsWithIgnoringCase(lines_[i].text, prefix)) return static_cast<int>(i);
    }
    return -1;
}

int LogList::FindString(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindLocked(prefix);
}

void LogList::DeleteLocked(int index) {
    const Line removed = lines_[index];
    lines_.erase(lines_.begin() + index);
    if (observer_) observer_->OnLineDeleted(index, removed.text, removed.kind);
}

bool LogList::DeleteString(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || index >= static_cast<int>(lines_.size())) return false;
    DeleteLocked(index);
    return true;
}

bool LogList::DeleteFirstWithPrefix(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int index = FindLocked(prefix);
    if (index < 0) return false;
    DeleteLocked(index);
    return true;
}

bool LogList::DeletePeerLine(const std::string& peer) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == LogLineKind::Peer && strcasecmp(line.text.c_str(), peer.c_str()) == 0) {
            DeleteLocked(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void LogList::ResetContent() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
    if (observer_) observer_->OnReset();
}

std::vector<std::string> LogList::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (const Line& l : lines_) out.push_back(l.text);
    return out;
}

int LogList::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(lines_.size());
}

void LogList::SetObserver(LogListObserver* observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = observer;
}
