// Uses libkardo as an application would and checks a few results whose
// right answers are known from outside the library.
#include <kardo/kardo.h>

#include <cstdio>
#include <cstring>
#include <string>

static int failures = 0;

static void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static int boxes = 0;
static int CountBox(void*, const char*, const char* caption, unsigned) {
    if (std::strcmp(caption, "GetLastError") == 0) ++boxes;
    return KARDO_IDOK;
}

int main() {
    Check(atoin("  -42xyz", 8) == -42, "atoin");
    Check(atoln("  -42xyz", 4) == -4, "atoln");
    Check(std::string(nstltoa(1000123)) == "  0123", "nstltoa");
    Check(nstatoln("  ABP7", 6) == -7, "nstatoln");

    char date[16];
    char time[16];
    Check(retdat(date, 152672, 6) && std::string(date) == "01.01.2000", "retdat");
    Check(retxddt(date, time, 152672L * 1440 + 605, 4) && std::string(time) == "1005", "retxddt");
    Check(tstdat("29.02.1900", 6) == -1, "tstdat");

    Callcard card;
    _kardodll_tagCHIP layout;
    std::memset(&layout, ' ', sizeof layout);
    std::memcpy(layout.entry[0].rows, "GGGGGG", 6);
    card.pin2card("123456", "000000", &layout, &layout, 0);
    Check(std::string(card.image + 32, 8) == "61123456", "pin2card");
    char work[19];
    Check(card.card2pin(work, &layout) == "123456", "card2pin");

    kardo_set_message_box_handler(&CountBox, nullptr);
    Callcard::disperr(2);
    kardo_set_message_box_handler(nullptr, nullptr);
    Check(boxes == 1, "message box handler");

    Check(kardo_post_card_abort(kardo_current_thread_id()) == 1, "post abort");
    Check(Callcard::PumpMessages() == -1, "PumpMessages");

    std::printf("consumer: %s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
