// Draws the running dialog into a PNG for the README: the server started on a
// pseudo-terminal, one client on the data port and one on the control port.
//   tovan_screenshot [out.png [about.png]]
//       (defaults docs/tovan-dialog.png and docs/tovan-about.png)
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise, with
// settings in a temporary folder, so nothing of the user's is read or changed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "platform/message_box.h"
#include "server/engine/server_engine.h"
#include "server/ui/about_dlg.h"
#include "server/ui/server_dlg.h"

namespace {

int ConnectOnce(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// The listeners start on their own threads: try until they listen.
int ConnectTo(QApplication& app, uint16_t port) {
    QDeadlineTimer deadline(3000);
    for (;;) {
        const int s = ConnectOnce(port);
        if (s >= 0 || deadline.hasExpired()) return s;
        app.processEvents(QEventLoop::AllEvents, 20);
        usleep(20000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/tovan-dialog.png");
    const QString aboutOut = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("docs/tovan-about.png");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    platform::SetMessageBoxHandler(platform::DefaultMessageBox);

    int master = -1, slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    SettingOverrides values{std::string(name), "4001", "4002"};
    int code = 0;
    {
        CServerDlg dialog(values);
        dialog.show();
        dialog.OnStartStop();
        dialog.setWindowState(Qt::WindowNoState);
        dialog.show();
        dialog.Control(1001)->setFocus();
        const int data = ConnectTo(app, 4001);
        const int ctrl = ConnectTo(app, 4002);
        auto* list = static_cast<QListWidget*>(dialog.Control(1007));
        QDeadlineTimer deadline(3000);
        while (list->count() < 2 && !deadline.hasExpired()) app.processEvents(QEventLoop::AllEvents, 50);
        app.processEvents();
        if (!dialog.grab().save(out)) {
            std::fprintf(stderr, "tovan_screenshot: cannot write %s\n", out.toLocal8Bit().constData());
            code = 1;
        } else {
            std::printf("%s\n", out.toLocal8Bit().constData());
        }
        CAboutDlg about(&dialog);
        about.show();
        app.processEvents();
        if (!about.grab().save(aboutOut)) {
            std::fprintf(stderr, "tovan_screenshot: cannot write %s\n", aboutOut.toLocal8Bit().constData());
            code = 1;
        } else {
            std::printf("%s\n", aboutOut.toLocal8Bit().constData());
        }
        about.close();
        if (data >= 0) close(data);
        if (ctrl >= 0) close(ctrl);
        dialog.reject();
        dialog.ShutdownEngine(2000);
    }
    close(master);
    close(slave);
    return code;
}
