#pragma once
// Message boxes of the program as real modal Qt boxes on the GUI thread.
//
// QtMessageBoxBridge is made on the GUI thread and installed as the
// process-wide handler of platform/message_box.h. A box asked for on the GUI
// thread is shown there at once (modal, its own event loop). A box asked for
// on any other thread (an engine worker that hit a device failure) is handed
// to the GUI thread in the order of the requests, and the asking thread waits
// until the user has answered, as a modal box makes its caller wait.
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
#include <set>
#include <string>

// Shows one modal box on the calling (GUI) thread: the text, the caption,
// the icon and buttons of the MB_* flags; returns the ID* result of the
// button pressed (Escape gives Cancel where there is one, else OK/No as the
// box allows).
int ShowQtMessageBox(QWidget* parent, const std::string& text, const std::string& caption, unsigned flags);

class QtMessageBoxBridge : public QObject {
public:
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
        bool answered = false;
        bool dropped = false;  // answered by Close(), never shown
        int result = 0;
    };
    void Answer(const std::shared_ptr<Request>& request, int result);

    QPointer<QWidget> parentWindow_;
    std::mutex mutex_;
    std::condition_variable answered_;
    std::set<std::shared_ptr<Request>> waiting_;
    bool closed_ = false;
    bool installed_ = false;
    std::function<int(const std::string&, const std::string&, unsigned)> previous_;
};
