#include "server/ui/tovan_app.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/message_box.h"
#include "server/ui/headless_host.h"
#include "server/ui/qt_message_box.h"
#include "server/ui/server_dlg.h"
#include "server/ui/server_signals.h"

namespace {

// How long the program waits for the engine's threads after the dialog has
// closed before it ends anyway.
constexpr int kExitWaitMs = 700;

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

int RunHeadlessWithSettings(const ProgramOptions& options) {
    ServerSettings settings = LoadServerSettings();
    ApplyOverrides(settings, options.overrides);
    std::string missing;
    auto need = [&missing](const std::string& value, const char* what) {
        if (value.empty()) missing += missing.empty() ? what : std::string(", ") + what;
    };
    need(settings.device, "--device");
    need(settings.dataPort, "--data-port");
    need(settings.ctrlPort, "--ctrl-port");
    if (!missing.empty()) {
        std::fprintf(stderr,
                     "tovan: no value for %s: give the option(s) or save the settings in the dialog (%s)\n",
                     missing.c_str(), ServerSettingsFile().c_str());
        return 2;
    }
    return RunHeadless(HeadlessSettings{settings.device, settings.dataPort, settings.ctrlPort, settings.bindAddress,
                                        settings.maxClients, static_cast<uint16_t>(settings.rfc2217Port)});
}

// The socket layer must work before the dialog can do anything.
bool SocketsWork() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0) return false;
    close(probe);
    return true;
}

// Whether the X server that DISPLAY names takes a connection. Qt ends the
// program when it cannot connect, so the program asks first, through libxcb
// (which Qt's X platform loads anyway). Only asked when X is the platform
// Qt will use; when libxcb is missing the answer is yes and Qt reports.
bool XDisplayReachable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (IsSet("WAYLAND_DISPLAY") || (platform != nullptr && platform[0] != '\0' && std::string(platform) != "xcb")) {
        return true;
    }
    void* xcb = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (xcb == nullptr) return true;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connectX = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnectX = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    if (connectX == nullptr || hasError == nullptr || disconnectX == nullptr) return true;
    void* connection = connectX(nullptr, nullptr);
    const bool reachable = hasError(connection) == 0;
    disconnectX(connection);
    return reachable;
}

}  // namespace

bool HaveDisplay() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

int RunTovan(int argc, char** argv, const ProgramOptions& options) {
    if (options.headless) return RunHeadlessWithSettings(options);
    if (!HaveDisplay()) {
        std::fprintf(stderr, "tovan: no display (DISPLAY and WAYLAND_DISPLAY are not set): running headless\n");
        std::fflush(stderr);
        return RunHeadlessWithSettings(options);
    }
    if (!XDisplayReachable()) {
        std::fprintf(stderr, "tovan: cannot open display %s: running headless\n", std::getenv("DISPLAY"));
        std::fflush(stderr);
        return RunHeadlessWithSettings(options);
    }

    // Before Qt or the engine start a thread: every thread inherits the block.
    BlockServerSignals();
    signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganisation));
    QApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    QApplication::setApplicationDisplayName(QStringLiteral("tovan"));

    QtMessageBoxBridge boxes;
    boxes.Install();
    if (!SocketsWork()) {
        ShowQtMessageBox(nullptr, "Fehler beim Initialisieren der Windows-Sockets.", "tovan",
                         platform::MB_ICONEXCLAMATION);
        return 1;
    }

    int code = 0;
    bool clean = true;
    {
        CServerDlg dialog(options.overrides);
        boxes.SetParentWindow(&dialog);
        ServerSignalNotifier signalNotifier;
        QObject::connect(&signalNotifier, &ServerSignalNotifier::restartRequested, &dialog, &CServerDlg::OnRestartDevice);
        // A termination signal ends the program even while a box is up: open
        // boxes close unanswered (their workers go on), then the exit path runs.
        QObject::connect(&signalNotifier, &ServerSignalNotifier::quitRequested, &dialog, [&dialog, &boxes] {
            boxes.Close();
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window != &dialog && window->isVisible() && window->isModal()) window->close();
            }
            dialog.reject();
        });
        dialog.exec();
        // No box may keep a worker waiting once nobody can answer it.
        boxes.Close();
        clean = dialog.ShutdownEngine(kExitWaitMs);
    }
    if (!clean) {
        // A thread is still blocked (a device that takes no bytes): the
        // program ends without waiting for it.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }
    return code;
}
