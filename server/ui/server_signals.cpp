#include "server/ui/server_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>

ServerSignalNotifier::ServerSignalNotifier(QObject* parent) : QObject(parent) {
    const sigset_t set = ServerSignalSet();
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) return;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ServerSignalNotifier::ReadSignals);
}

ServerSignalNotifier::~ServerSignalNotifier() {
    delete notifier_;
    if (fd_ >= 0) close(fd_);
}

void ServerSignalNotifier::ReadSignals() {
    signalfd_siginfo info;
    while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGUSR1) {
            emit restartRequested();
        } else {
            emit quitRequested();
        }
    }
}
