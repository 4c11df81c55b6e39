// Base64 and TEA texts from anyone: decoding never writes past the buffer
// its contract sizes, and whatever TeaEncryptString makes, TeaDecryptString
// gives back.
#include <kardo/kardo.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<unsigned char> decoded(3 * size / 4 + 1);
    CTEA::base64Decode(text.data(), decoded.data(), size);

    const uint32_t key[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    CTEA::TeaDecryptString(text, key);
    // The round trip, for texts without a zero byte (the format ends there).
    const std::string plain = text.substr(0, text.find('\0'));
    if (CTEA::TeaDecryptString(CTEA::TeaEncryptString(plain, key), key) != plain) std::abort();
    return 0;
}
