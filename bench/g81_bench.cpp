// Cg81 exchanges with the simulated G81 terminal over a pseudo-terminal: what
// the driver and the link cost without the 9600 baud line (a real line adds
// about 1 ms per byte each way).
#include <benchmark/benchmark.h>
#include <kardo/kardo.h>

#include <cstdlib>
#include <memory>

#include "termsim/card.h"
#include "termsim/terminal.h"

namespace {

struct Setup {
    Setup() {
        setenv("KARDO_TEST_TIME_SCALE", "0.01", 1);
        sim.Slot().Insert(termsim::BlankMemoryCard());
        sim.Start();
        driver.port = sim.Path();
        driver.crd_open();
        driver.cki_card_ready();
    }
    termsim::Terminal sim;
    Cg81 driver;
};

Setup& Shared() {
    static Setup setup;
    return setup;
}

void BM_CardStatusAndRequest(benchmark::State& state) {
    Setup& s = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(s.driver.cki_card_ready());
}
BENCHMARK(BM_CardStatusAndRequest)->Unit(benchmark::kMicrosecond);

void BM_ReadSixteenBytes(benchmark::State& state) {
    Setup& s = Shared();
    unsigned char data[16];
    for (auto _ : state) benchmark::DoNotOptimize(s.driver.cki_read(data, 0, 16));
    state.SetBytesProcessed(state.iterations() * 16);
}
BENCHMARK(BM_ReadSixteenBytes)->Unit(benchmark::kMicrosecond);

void BM_ReadWholeCard(benchmark::State& state) {
    Setup& s = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(s.driver.read_cta_kvk());
    state.SetBytesProcessed(state.iterations() * 256);
}
BENCHMARK(BM_ReadWholeCard)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
