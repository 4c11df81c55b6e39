#include <kardo/callcard.h>
#include <kardo/message_box.h>
#include <kardo/window_messages.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

TEST(CallcardHex, TwoDigitsHighNibbleFirst) {
    EXPECT_EQ(0x1F, Callcard::hex("1f"));
    EXPECT_EQ(0x1F, Callcard::hex("1F"));
    EXPECT_EQ(0x01, Callcard::hex("g1"));  // not a digit: 0
    EXPECT_EQ(0xA0, Callcard::hex("A "));
    EXPECT_EQ(0xFF, Callcard::hex("ff"));
    EXPECT_EQ(0x00, Callcard::hex("00"));
    char two[2];
    for (int v = 0; v < 256; ++v) {
        two[0] = "0123456789abcdef"[v >> 4];
        two[1] = "0123456789ABCDEF"[v & 15];
        EXPECT_EQ(v, Callcard::hex(two));
        EXPECT_EQ(v, Callcard::_hex2i(two));
    }
}

TEST(CallcardSwap4, ExchangesNibbles) {
    unsigned char bytes[3] = {0x12, 0xAB, 0x77};
    Callcard::swap4(bytes, 2);
    EXPECT_EQ(0x21, bytes[0]);
    EXPECT_EQ(0xBA, bytes[1]);
    EXPECT_EQ(0x77, bytes[2]);
    unsigned char f[1] = {0x1F};
    Callcard::swap4(f, 1);
    EXPECT_EQ(0xF1, f[0]);
    Callcard::swap4(f, 0);
    EXPECT_EQ(0xF1, f[0]);
}

TEST(CallcardSprintxfhex, CopiesWithoutTerminator) {
    char out[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
    Callcard::sprintxfhex(out, "%02x", 0xab);
    Callcard::sprintxfhex(out + 2, "%02X", 0x0c);
    Callcard::sprintxfhex(out + 4, "%01X", 7);
    EXPECT_EQ(std::string("ab0C7x"), std::string(out, 6));
}

TEST(Callcard, DefaultsAndMemberwiseCopy) {
    Callcard card;
    EXPECT_EQ(nullptr, card.hwnd);
    EXPECT_TRUE(card.port.empty());
    EXPECT_EQ(-1, card.hport);
    EXPECT_EQ(0, card.isopen);
    EXPECT_EQ(std::string(512, '0'), std::string(card.image, 512));

    card.port = "COM1";
    card.hport = 7;
    card.isopen = 1;
    card.cardtype = CARDTYPE_G81;
    card.image[511] = 'F';
    Callcard copy(card);
    EXPECT_EQ("COM1", copy.port);
    EXPECT_EQ(7, copy.hport);  // a copy shares the open port
    EXPECT_EQ(1, copy.isopen);
    EXPECT_EQ(5, copy.cardtype);
    EXPECT_EQ('F', copy.image[511]);
    Callcard assigned;
    assigned = card;
    EXPECT_EQ(0, std::memcmp(assigned.image, card.image, 512));
}

namespace {
struct Box {
    std::string text, caption;
    unsigned flags;
};
int Record(void* context, const char* text, const char* caption, unsigned flags) {
    static_cast<std::vector<Box>*>(context)->push_back(Box{text, caption, flags});
    return KARDO_IDOK;
}
}  // namespace

TEST(CallcardDisperr, ShowsTheSystemTextTitledGetLastError) {
    std::vector<Box> boxes;
    kardo_set_message_box_handler(&Record, &boxes);
    Callcard::disperr(ENOENT);
    Callcard::disperr(EBUSY);
    kardo_set_message_box_handler(nullptr, nullptr);
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("GetLastError", boxes[0].caption);
    EXPECT_EQ(std::string(std::strerror(ENOENT)) + "\n", boxes[0].text);
    EXPECT_EQ(KARDO_MB_ICONINFORMATION, boxes[0].flags);
    EXPECT_EQ(std::string(std::strerror(EBUSY)) + "\n", boxes[1].text);

    // With the default handler restored, the text goes to standard error.
    testing::internal::CaptureStderr();
    Callcard::disperr(EACCES);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find("GetLastError"));
    EXPECT_EQ(1u, boxes.size() - 1);
}

namespace {
struct Seen {
    std::vector<unsigned> messages;
    std::vector<LPARAM> params;
};
void WindowProc(void* context, HWND, unsigned message, WPARAM, LPARAM lParam) {
    auto* seen = static_cast<Seen*>(context);
    seen->messages.push_back(message);
    seen->params.push_back(lParam);
}
}  // namespace

TEST(CallcardPumpMessages, NothingPendingGivesZero) { EXPECT_EQ(0, Callcard::PumpMessages()); }

TEST(CallcardPumpMessages, DispatchesWindowMessagesAndReportsTheAbort) {
    Seen seen;
    HWND hwnd = kardo_register_window(&WindowProc, &seen);
    ASSERT_NE(nullptr, hwnd);
    ASSERT_EQ(1, kardo_post_message(hwnd, WM_CARDSTATE, 2, 2));
    EXPECT_EQ(0, Callcard::PumpMessages());
    ASSERT_EQ(1u, seen.messages.size());
    EXPECT_EQ(unsigned(WM_CARDSTATE), seen.messages[0]);

    // The application posts the abort from another thread while the card
    // operation runs here.
    const uint32_t self = kardo_current_thread_id();
    std::thread application([&] {
        EXPECT_EQ(1, kardo_post_message(hwnd, WM_CARDSTATE, 0, 40));
        EXPECT_EQ(1, kardo_post_card_abort(self));
        EXPECT_EQ(1, kardo_post_message(hwnd, WM_CARDSTATE, 0, 50));
    });
    application.join();
    EXPECT_EQ(-1, Callcard::PumpMessages());
    // The abort is swallowed; the progress messages around it are delivered.
    ASSERT_EQ(3u, seen.messages.size());
    EXPECT_EQ(40, seen.params[1]);
    EXPECT_EQ(50, seen.params[2]);
    EXPECT_EQ(0, Callcard::PumpMessages());
    EXPECT_EQ(1, kardo_unregister_window(hwnd));
}

TEST(WindowMessages, DispatchMessagesDrainsTheQueue) {
    Seen seen;
    HWND hwnd = kardo_register_window(&WindowProc, &seen);
    int fd = kardo_message_queue_fd();
    EXPECT_GE(fd, 0);
    kardo_post_message(hwnd, 0x401, 0, 1);
    kardo_post_thread_message(kardo_current_thread_id(), 0x402, 0, 2);
    kardo_post_message(hwnd, 0x403, 0, 3);
    EXPECT_EQ(3, kardo_dispatch_messages());
    EXPECT_EQ((std::vector<unsigned>{0x401, 0x403}), seen.messages);
    EXPECT_EQ(0, kardo_dispatch_messages());
    kardo_unregister_window(hwnd);
    EXPECT_EQ(0, kardo_post_message(hwnd, 0x401, 0, 1));
    EXPECT_EQ(nullptr, kardo_register_window(nullptr, nullptr));
    EXPECT_EQ(0, kardo_post_thread_message(0, 1, 0, 0));
}
