// The Cherry link and commands against a terminal that answers with the
// fuzzer's bytes: no crash, no access outside a buffer, no endless exchange,
// and only the documented results.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietAndFast();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::ScriptedTerminal terminal(fuzzsupport::Pieces(data, size));
    Ccherry driver;
    driver.port = terminal.Path();
    if (driver.crd_open() != 0) return 0;
    const int32_t link[] = {0, -1, -1000, -1001, -1004, -1005, -1006, -1007};
    int type = 0;
    uint32_t status = 0;
    fuzzsupport::RequireOneOf(driver.CH_gettype(0, type, status), link, "CH_gettype");
    unsigned char buffer[64];
    int length = sizeof buffer;
    fuzzsupport::RequireOneOf(driver.CH_readbin(0, buffer, length, 0x10, 16, status), link, "CH_readbin");
    if (length < 0 || length > static_cast<int>(sizeof buffer)) std::abort();
    char text[33];
    driver.CH_sctp_rd16(text, 0);
    driver.read_cherry_kvk();
    driver.close_card();
    return 0;
}
