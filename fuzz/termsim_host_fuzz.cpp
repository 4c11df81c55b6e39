// The simulator reading whatever a host sends: the first byte picks the
// terminal family, the rest goes down the line as the host's bytes. The
// simulator must neither crash nor read outside a buffer, and must stop when
// told to.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "termsim/card.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const termsim::Family families[] = {termsim::Family::G81, termsim::Family::Cherry, termsim::Family::Pki};
    termsim::TerminalOptions options;
    options.family = families[data[0] % 3];
    options.timeScale = 0.001;
    termsim::Terminal terminal(options);
    terminal.Slot().Insert(data[0] & 4 ? termsim::InsuranceCard(termsim::ExamplePerson()) : termsim::BlankMemoryCard());
    terminal.Start();
    const int host = open(terminal.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (host < 0) std::abort();
    size_t at = 1;
    uint8_t answer[512];
    while (at < size) {
        const ssize_t n = write(host, data + at, size - at);
        if (n > 0) at += static_cast<size_t>(n);
        while (read(host, answer, sizeof answer) > 0) {
        }
        if (n <= 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    // Give the simulator a moment with the last bytes, draining its answers.
    for (int i = 0; i < 5; ++i) {
        pollfd p{host, POLLIN, 0};
        if (poll(&p, 1, 1) > 0)
            while (read(host, answer, sizeof answer) > 0) {
            }
    }
    terminal.Stop();
    close(host);
    return 0;
}
