// One insurance card read straight from the simulated terminal's
// pseudo-terminal and through a tovan server in front of it, in the same run,
// for every terminal family: what the network hop adds to each exchange.
//
//   remote_terminal_bench [reads per family, default 50]
//
// The open (with the driver's fixed settling pause) is timed apart from the
// reads; a read's exchanges are counted off the simulator's trace.
#include <kardo/kardo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "loopback_port.h"
#include "termsim/card.h"
#include "termsim/insurance_card.h"
#include "termsim/terminal.h"
#include "tovan_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A driver of one family, opened on a port and reading the insurance card.
struct Family {
    const char* name;
    termsim::Family simulated;
    termsim::Card card;
    // How often a read closes and opens the port again (each open through
    // tovan makes two connections and waits for their accept).
    int opensPerRead;
    std::function<void*(const std::string& port)> open;  // null when the open failed
    std::function<bool(void* driver)> read;
    std::function<void(void* driver)> close;
};

template <class Driver>
Family DriverFamily(const char* name, termsim::Family simulated, termsim::Card card, int opensPerRead,
                    std::function<bool(Driver&)> read) {
    return {name, simulated, std::move(card), opensPerRead,
            [](const std::string& port) -> void* {
                auto* driver = new Driver;
                driver->port = port;
                if (driver->crd_open() != 0) {
                    delete driver;
                    return nullptr;
                }
                return driver;
            },
            [read](void* driver) { return read(*static_cast<Driver*>(driver)); },
            [](void* driver) { delete static_cast<Driver*>(driver); }};
}

std::vector<Family> Families() {
    return {
        DriverFamily<Cg81>("G81", termsim::Family::G81, termsim::InsuranceCard(termsim::ExamplePerson()), 0,
                           [](Cg81& d) { return d.cki_card_ready() == 0 && d.read_cta_kvk() != nullptr; }),
        DriverFamily<Ccherry>("Cherry", termsim::Family::Cherry, termsim::InsuranceCard(termsim::ExamplePerson()), 0,
                              [](Ccherry& d) { return d.read_cherry_kvk() != nullptr; }),
        // The card kind the driver tries first: a card of another kind costs
        // the driver's waits for the refused tries, in both reads alike.
        DriverFamily<Cpki>("PKI", termsim::Family::Pki,
                           termsim::InsuranceCard(termsim::ExamplePerson(), termsim::kPkiKindMemory), 1,
                           [](Cpki& d) { return d.rd_orga_kvk() != nullptr; }),
    };
}

struct Result {
    double openMs = 0;
    double readMs = 0;
    double exchanges = 0;
    bool ok = false;
};

Result Measure(const Family& family, const std::string& port, int reads, const long& hostBlocks) {
    Result result;
    const auto start = Clock::now();
    void* driver = family.open(port);
    result.openMs = MsSince(start);
    if (!driver) return result;
    std::vector<double> times;
    const long before = hostBlocks;
    for (int i = 0; i < reads; ++i) {
        const auto t = Clock::now();
        if (!family.read(driver)) {
            family.close(driver);
            return result;
        }
        times.push_back(MsSince(t));
    }
    result.exchanges = static_cast<double>(hostBlocks - before) / reads;
    result.readMs = Median(times);
    result.ok = true;
    family.close(driver);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int reads = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    std::printf("| Family | Path | Open (fixed pauses) | Read, median | Opens in a read | Read without them | "
                "Exchanges per read | Added per exchange |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    int status = 0;
    for (const Family& family : Families()) {
        termsim::TerminalOptions options;
        options.family = family.simulated;
        termsim::Terminal sim(options);
        long hostBlocks = 0;
        sim.GetTrace().SetObserver([&](termsim::Direction d, const std::vector<uint8_t>&) {
            if (d == termsim::Direction::HostToTerminal) ++hostBlocks;
        });
        sim.Slot().Insert(family.card);
        sim.Start();
        // Straight on the pseudo-terminal first: tovan holds the device
        // exclusively while it runs.
        const Result direct = Measure(family, sim.Path(), reads, hostBlocks);
        const uint16_t data = testsupport::FreePort(), ctrl = testsupport::FreePort();
        testsupport::TovanProcess tovan(TOVAN_BINARY, {"--headless", "--device", sim.Path(), "--data-port",
                                                       std::to_string(data), "--ctrl-port", std::to_string(ctrl)});
        if (!tovan.OutputHas("Server gestartet") || !testsupport::WaitForListener(data) ||
            !testsupport::WaitForListener(ctrl) || !tovan.OutputHas("disconnected", 2, 5000)) {
            std::fprintf(stderr, "tovan did not start: %s\n", tovan.Errors().c_str());
            return 1;
        }
        const std::string url = "tovan://127.0.0.1:" + std::to_string(data) + ":" + std::to_string(ctrl);
        const Result remote = Measure(family, url, reads, hostBlocks);
        if (!direct.ok || !remote.ok) {
            std::fprintf(stderr, "%s: a read failed (%s)\n", family.name, direct.ok ? "through tovan" : "direct");
            status = 1;
            continue;
        }
        // The opens inside a read are fixed costs like the first one: apart.
        const double directExchanges = direct.readMs - family.opensPerRead * direct.openMs;
        const double remoteExchanges = remote.readMs - family.opensPerRead * remote.openMs;
        const double added = remote.exchanges > 0 ? (remoteExchanges - directExchanges) / remote.exchanges : 0;
        std::printf("| %s | pseudo-terminal | %.1f ms | %.2f ms | %d | %.2f ms | %.0f | |\n", family.name,
                    direct.openMs, direct.readMs, family.opensPerRead, directExchanges, direct.exchanges);
        std::printf("| %s | through tovan | %.1f ms | %.2f ms | %d | %.2f ms | %.0f | %.3f ms |\n", family.name,
                    remote.openMs, remote.readMs, family.opensPerRead, remoteExchanges, remote.exchanges, added);
    }
    return status;
}
