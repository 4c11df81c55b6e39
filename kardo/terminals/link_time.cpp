#include "terminals/link_time.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace kardo_link {

double TimeScale() {
    const char* text = std::getenv("KARDO_TEST_TIME_SCALE");
    if (!text || !*text) return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    // Only ever faster, never slower or zero: a stray value cannot stall the link.
    if (*end != '\0' || !(value > 0.0) || value > 1.0) return 1.0;
    return value;
}

int ScaledMs(int milliseconds) {
    if (milliseconds <= 0) return milliseconds;
    int scaled = static_cast<int>(milliseconds * TimeScale());
    return scaled < 1 ? 1 : scaled;
}

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SleepMs(int milliseconds) {
    int scaled = ScaledMs(milliseconds);
    if (scaled > 0) std::this_thread::sleep_for(std::chrono::milliseconds(scaled));
}

}  // namespace kardo_link
