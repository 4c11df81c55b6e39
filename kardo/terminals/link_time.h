#pragma once
// The waits of the terminal links (receive timeouts, the settling pause after
// opening a port, the pauses of a card wait). Tests of the drivers shorten
// them all by one factor through KARDO_TEST_TIME_SCALE (a number above 0 and
// at most 1); everybody else gets the terminals' own times.
#include <cstdint>

namespace kardo_link {

// The factor in force; read again at each use, so a test may change it.
double TimeScale();
// milliseconds times the factor, at least 1 for a positive wait.
int ScaledMs(int milliseconds);
// A monotonic clock in milliseconds.
int64_t NowMs();
// Sleeps for the scaled time.
void SleepMs(int milliseconds);

}  // namespace kardo_link
