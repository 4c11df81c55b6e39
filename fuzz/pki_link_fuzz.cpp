// The PKI frame link and card access against a terminal that answers with
// the fuzzer's bytes: no crash, no access outside a buffer, no endless
// exchange, and only the documented results.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietAndFast();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::ScriptedTerminal terminal(fuzzsupport::Pieces(data, size));
    Cpki driver;
    driver.port = terminal.Path();
    driver.cardtype = CARDTYPE_PKI_KVK;
    if (driver.crd_open() != 0) return 0;
    // A status byte, or -1.
    const int32_t stat = driver.stat();
    if (stat < -1 || stat > 0xFF) std::abort();
    char text[33];
    const int32_t read = driver.rd16direct(text, 0);
    if (read < -1 || read > 0xFF) std::abort();
    driver.rd_orga_kvk();
    driver.close_card();
    return 0;
}
