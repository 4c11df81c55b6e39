#pragma once
// Helpers of the Qt tests of tovan's front end: each test program runs on
// Qt's offscreen platform with its own temporary settings folder
// (XDG_CONFIG_HOME), talks to the server over real sockets on 127.0.0.1 and
// uses pseudo-terminals as devices.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "kernel_line.h"
#include "loopback_port.h"
#include "platform/message_box.h"
#include "pty_pair.h"
#include "server/ui/server_settings.h"
#include "server/ui/server_signals.h"

namespace uitest {

using testsupport::FreePort;

// True when nobody listens on port and it can be bound.
inline bool PortIsFree(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool ok = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return ok;
}

inline int ConnectOnce(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// The listeners start on their own threads: connects once they listen
// (GUI events keep flowing meanwhile); -1 when nobody listens within 5 s.
inline int ConnectTo(uint16_t port) {
    QDeadlineTimer deadline(5000);
    for (;;) {
        const int s = ConnectOnce(port);
        if (s >= 0 || deadline.hasExpired()) return s;
        QTest::qWait(10);
    }
}

// "address:port" of the local end of a connected socket: the peer text the
// server shows for this client.
inline QString LocalEndText(int socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(text)).arg(ntohs(address.sin_port));
}

inline void SendAll(int socket, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// The device thread opens its device on its own thread: bytes a client sends
// before that are refused. Waits until the server has set the pseudo-terminal
// up as it does at open (9600 baud; a new pty starts at 38400).
inline bool WaitForDeviceSetUp(const testsupport::PtyPair& pty) {
    QDeadlineTimer deadline(5000);
    for (;;) {
        testsupport::KernelLine line;
        if (testsupport::ReadKernelLine(pty.slave(), line) && line.ospeed == 9600) return true;
        if (deadline.hasExpired()) return false;
        QTest::qWait(5);
    }
}

// Empties the user's settings: a new account.
inline void ClearSettings() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kSettingsOrganisation, kSettingsApplication);
    store.clear();
    store.sync();
    QFile::remove(store.fileName());
}

// The settings as another program would read them back: a fresh QSettings
// on the file itself.
inline QVariant StoredValue(const char* name) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, kSettingsOrganisation, kSettingsApplication);
    return store.value(QStringLiteral("%1/%2").arg(QString::fromLatin1(kSettingsGroup), QString::fromLatin1(name)));
}

// Replaces what is typed in an edit box, key by key.
inline void TypeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

inline bool ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Acts on modal windows while something else runs a modal loop (a box's or
// dialog's exec() does not return to the test until it is closed): every
// 10 ms the current modal widget is handed to act, until act returns true.
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<bool(QWidget* modal)> act) : act_(std::move(act)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && modal->isVisible() && act_(modal)) {
                timer_.stop();
                done_ = true;
            }
        });
        timer_.start();
    }
    bool Done() const { return done_; }

private:
    std::function<bool(QWidget*)> act_;
    QTimer timer_;
    bool done_ = false;
};

// Records message boxes instead of showing them; answers OK.
class RecordingBoxes {
public:
    struct Box {
        std::string text, caption;
        unsigned flags;
    };
    RecordingBoxes() {
        previous_ = platform::SetMessageBoxHandler([this](const std::string& text, const std::string& caption,
                                                          unsigned flags) {
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(Box{text, caption, flags});
            return platform::IDOK;
        });
    }
    ~RecordingBoxes() { platform::SetMessageBoxHandler(previous_); }
    std::vector<Box> Boxes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }

private:
    std::mutex mutex_;
    std::vector<Box> boxes_;
    platform::MessageBoxHandler previous_;
};

// The environment of one test program: offscreen platform, a temporary
// settings folder, the server's signals blocked before any thread starts.
class Environment {
public:
    Environment() {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit().constData(), 1);
        BlockServerSignals();
    }
    QString ConfigHome() const { return config_.path(); }

private:
    QTemporaryDir config_;
};

}  // namespace uitest

// main() of a test program: environment first, then the application.
#define TOVAN_UI_TEST_MAIN(TestClass)                  \
    int main(int argc, char** argv) {                  \
        uitest::Environment environment;               \
        QApplication app(argc, argv);                  \
        TestClass test;                                \
        return QTest::qExec(&test, argc, argv);        \
    }
