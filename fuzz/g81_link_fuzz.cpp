// The G81 link and commands against a terminal that answers with the
// fuzzer's bytes: no crash, no access outside a buffer, no endless exchange,
// and only the documented results.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietAndFast();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::ScriptedTerminal terminal(fuzzsupport::Pieces(data, size));
    Cg81 driver;
    driver.port = terminal.Path();
    if (driver.crd_open() != 0) return 0;
    const int32_t link[] = {0, -1, -2, 4097, 4100, 4101, 4102, 4103};
    const int32_t ready = driver.cki_card_ready();
    // A status word, or a link result.
    if (ready < 0 || ready > 0xFFFF) fuzzsupport::RequireOneOf(ready, link, "cki_card_ready");
    unsigned char bytes[16];
    const int32_t read = driver.cki_read(bytes, 0, 16);
    if (read < 0 || read > 0xFFFF) fuzzsupport::RequireOneOf(read, link, "cki_read");
    driver.read_cta_kvk();
    driver.close_card();
    return 0;
}
