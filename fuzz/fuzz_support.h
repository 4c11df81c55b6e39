#pragma once
// What the harnesses share: link waits cut to almost nothing, message boxes
// answered in silence, and a terminal on a pseudo-terminal that answers each
// burst of bytes from the host with the next piece of the fuzzer's input.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <kardo/kardo.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace fuzzsupport {

// Every link wait at a thousandth: a receive timeout of 2 s becomes 2 ms, so
// that an input which makes the driver wait costs little.
inline void QuietAndFast() {
    setenv("KARDO_TEST_TIME_SCALE", "0.001", 1);
    kardo_set_message_box_handler([](void*, const char*, const char*, unsigned) { return KARDO_IDOK; }, nullptr);
}

// The input as the terminal's answers: a length byte, then that many bytes,
// again and again; the last piece takes what is left.
inline std::vector<std::vector<uint8_t>> Pieces(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> pieces;
    size_t at = 0;
    while (at < size) {
        size_t length = data[at++];
        if (length > size - at) length = size - at;
        pieces.emplace_back(data + at, data + at + length);
        at += length;
    }
    return pieces;
}

// Plays the terminal: whenever the host has sent something and gone quiet for
// a moment, the next piece goes back; after the last piece it only listens.
class ScriptedTerminal {
public:
    explicit ScriptedTerminal(std::vector<std::vector<uint8_t>> pieces) : pieces_(std::move(pieces)) {
        char name[256];
        termios raw{};
        cfmakeraw(&raw);
        if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) std::abort();
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
        path_ = name;
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedTerminal() {
        stop_ = true;
        thread_.join();
        close(master_);
        close(slave_);
    }
    const std::string& Path() const { return path_; }

private:
    void Serve() {
        size_t next = 0;
        bool heard = false;
        uint8_t buffer[512];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            const int ready = poll(&p, 1, 1);
            if (ready > 0) {
                while (read(master_, buffer, sizeof buffer) > 0) heard = true;
                continue;
            }
            if (heard && next < pieces_.size()) {
                const auto& piece = pieces_[next++];
                if (!piece.empty() && write(master_, piece.data(), piece.size()) < 0) {
                }
                heard = false;
            }
        }
    }

    std::vector<std::vector<uint8_t>> pieces_;
    int master_ = -1, slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Ends the process loudly when a result lies outside the documented ones.
template <class Container>
void RequireOneOf(int32_t result, const Container& allowed, const char* what) {
    for (int32_t a : allowed)
        if (a == result) return;
    fprintf(stderr, "%s gave %d, which it never documents\n", what, result);
    std::abort();
}

}  // namespace fuzzsupport
