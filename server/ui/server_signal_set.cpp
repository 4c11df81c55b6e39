#include "server/ui/server_signal_set.h"

#include <pthread.h>

namespace {
constexpr int kServerSignals[] = {SIGINT, SIGTERM, SIGUSR1};
}

sigset_t ServerSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kServerSignals) sigaddset(&set, sig);
    return set;
}

sigset_t BlockServerSignals() {
    for (int sig : kServerSignals) signal(sig, SIG_DFL);
    const sigset_t set = ServerSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return set;
}
