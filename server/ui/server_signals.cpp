#include "server/ui/server_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {
sigset_t ServerSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void BlockServerSignals() {
    const sigset_t set = ServerSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

ServerSignalNotifier::ServerSignalNotifier(QObject* parent) : QObject(parent) {
    const sigset_t set = ServerSignals();
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
