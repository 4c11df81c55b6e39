#pragma once
// Signals of the dialog program, delivered on the GUI thread: SIGUSR1 is the
// restart request for a printer device (what another program sent as a
// window message to the dialog), SIGINT and SIGTERM close the dialog by its
// exit path.
//
// BlockServerSignals() (server_signal_set.h) must run on the main thread
// before any other thread exists, so that every thread inherits the block and
// the signals wait for the notifier; ServerSignalNotifier reads them from a
// signalfd on the GUI thread's event loop, in the order they came.
#include <QObject>

#include "server/ui/server_signal_set.h"

class QSocketNotifier;

class ServerSignalNotifier : public QObject {
    Q_OBJECT
public:
    explicit ServerSignalNotifier(QObject* parent = nullptr);
    ~ServerSignalNotifier() override;
    bool IsValid() const { return fd_ >= 0; }

signals:
    void restartRequested();
    void quitRequested();

private:
    void ReadSignals();

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};
