#pragma once
// Message boxes of the program as real modal Qt boxes on the GUI thread.
//
// QtMessageBoxBridge is made on the GUI thread and installed as the
// process-wide handler of platform/message_box.h. A box asked for on the GUI
// thread is shown there at once (modal, its own event loop). A box asked for
// on any other thread (an engine worker that hit a device failure) is handed
// to the GUI thread, and the asking thread waits until the user has
// answered, as a modal box makes its caller wait.
//
// Worker boxes never nest: one is shown at a time, the others wait in a
// queue of at most kMaxWaiting, in the order of the requests, and each comes
// up when the one before has been answered. A request whose text, caption
// and flags equal a waiting one's joins it: the box shows how many asked
// ("(3 times)") and its answer goes to all of them. A request that finds
// the queue full is answered OK at once, without a box, so a flood of
// failures can neither pile up windows nor hold its threads.
//
// Close() (called before the program waits for its worker threads) answers
// every box that is still waiting with the cautious default and lets later
// requests through at once on standard error, so no worker hangs on a box
// that nobody will show any more.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <cstddef>
#include <deque>
#include <string>

// Shows one modal box on the calling (GUI) thread: the text, the caption,
// the icon and buttons of the MB_* flags; returns the ID* result of the
// button pressed (Escape gives Cancel where there is one, else OK/No as the
// box allows).
int ShowQtMessageBox(QWidget* parent, const std::string& text, const std::string& caption, unsigned flags);

class QtMessageBoxBridge : public QObject {
public:
    static constexpr size_t kMaxWaiting = 16;

    explicit QtMessageBoxBridge(QObject* parent = nullptr);
    ~QtMessageBoxBridge() override;

    // Installs the bridge as the process-wide handler; the destructor
    // restores the previous one.
    void Install();
    // The window the boxes belong to (they are centred on it).
    void SetParentWindow(QWidget* window) { parentWindow_ = window; }
    void Close();

    // Any thread.
    int Show(const std::string& text, const std::string& caption, unsigned flags);

private:
    struct Request {
        std::string text, caption;
        unsigned flags = 0;
        int askers = 1;
        bool answered = false;
        bool dropped = false;  // answered by Close()
        int result = 0;
    };
    // GUI thread: shows the waiting boxes one after the other.
    void ShowWaiting();

    QPointer<QWidget> parentWindow_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<std::shared_ptr<Request>> waiting_;
    std::shared_ptr<Request> shown_;  // the worker box that is up
    bool showing_ = false;
    bool closed_ = false;
    bool installed_ = false;
    std::function<int(const std::string&, const std::string&, unsigned)> previous_;
};
