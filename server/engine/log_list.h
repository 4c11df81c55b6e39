#pragma once
// The server's log list: the model behind the dialog's list box. The engine's
// worker threads add and remove lines; a view (the Qt dialog, the headless
// host) observes it.
//
// Rules, as the list box kept them:
//  - the list is sorted: every line is placed in alphabetical order of its
//    text, case-insensitively (log lines therefore by their time stamp,
//    peer lines by address), not in the order of arrival;
//  - FindString finds the first line that begins with a text,
//    case-insensitively; DeleteFirstWithPrefix removes that line (nothing
//    happens when no line matches);
//  - ResetContent empties it (Stop does);
//  - it keeps the newest kMaxLines lines: a line beyond them takes the
//    place of the oldest log line (of the oldest peer line only when there
//    are no log lines), so a long run or a flood of failures cannot make it
//    grow without end.
// Two kinds of lines: a peer line ("address:port") per live connection, and
// log lines "<time stamp> - <text>".
//
// Thread safety: every operation may be called from any thread. Observer
// calls are made on the thread that changed the list, while the list is
// locked, in the order of the changes; an observer must return promptly,
// must not call back into the list, and must not wait for another thread
// that might be using the list (a GUI queues the change to its own thread).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

enum class LogLineKind { Peer, Log };

class LogListObserver {
public:
    virtual ~LogListObserver() = default;
    // line was inserted at index (0-based; later lines moved down by one).
    virtual void OnLineAdded(int index, const std::string& line, LogLineKind kind) = 0;
    // The line at index was removed.
    virtual void OnLineDeleted(int index, const std::string& line, LogLineKind kind) = 0;
    // All lines were removed.
    virtual void OnReset() = 0;
};

class LogList {
public:
    static constexpr size_t kMaxLines = 1000;

    // Inserts line at its sorted place and returns its index.
    int AddString(const std::string& line, LogLineKind kind = LogLineKind::Log);
    // Adds the log line "<LogTimeStamp()> - <text>".
    int AddLogLine(const std::string& text);
    // Index of the first line that begins with prefix (case-insensitive), -1 if none.
    int FindString(const std::string& prefix) const;
    // Removes the line at index; false when there is none.
    bool DeleteString(int index);
    // Find and delete in one step, so no other change can come in between.
    bool DeleteFirstWithPrefix(const std::string& prefix);
    // Removes the first peer line whose whole text is peer (case-insensitive).
    // A prefix match alone would let a connection that ends after Stop emptied
    // the list take away a newer client's line ("…:5000" and "…:50001").
    bool DeletePeerLine(const std::string& peer);
    void ResetContent();

    std::vector<std::string> Lines() const;
    int Count() const;

    // Installs the observer (nullptr removes it). The new observer is not
    // told about lines already there: read Lines() first if needed.
    void SetObserver(LogListObserver* observer);

private:
    struct Line {
        std::string text;
        LogLineKind kind;
        uint64_t arrival;
    };
    void DropOldestLocked();
    int FindLocked(const std::string& prefix) const;
    void DeleteLocked(int index);

    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    LogListObserver* observer_ = nullptr;
    uint64_t arrivals_ = 0;
};
