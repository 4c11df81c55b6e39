#pragma once
// The signals tovan takes on one thread instead of through handlers: SIGINT
// and SIGTERM end the program by its exit path, SIGUSR1 is the restart
// request for a printer device. The dialog reads them from a signalfd
// (server_signals.h), the headless host with sigwait.
#include <signal.h>

sigset_t ServerSignalSet();

// Gives the signals their default action again (a parent, such as a script
// starting a background job, may have left them ignored, and whether an
// ignored signal is still kept while blocked is the system's choice) and
// blocks them in the calling thread. Must run on the main thread before any other thread exists, so that
// every thread inherits the block. Returns the set.
sigset_t BlockServerSignals();
