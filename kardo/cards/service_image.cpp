// The service-card image, built from the service-card record.
#include <kardo/callcard.h>
#include <kardo/number_fields.h>

#include <cstring>

#include "cards/image_text.h"

using namespace kardo_image;

namespace {
char YesNo(char flag) { return flag == 'J' ? 'F' : '0'; }
}  // namespace

void Callcard::sc42card() {
    std::memset(image, 'D', kImageSize);

    for (int group = 0; group < 10; ++group) {
        const std::size_t pos = group < 3 ? 24 * group : 160 + 24 * (group - 3);
        // Groups 2 and 3 both carry the digit 3.
        const char digit = static_cast<char>('0' + (group < 3 ? group + 1 : group));
        for (int row = 0; row < 3; ++row)
            PutLayoutRow(image, pos + 8 * row, sc4.groups + 18 * group + 6 * row, digit, nullptr);
    }

    Fill(image, 72, 73, 'F');
    Fill(image, 74, 95, '0');
    for (int i = 0; i < 6; ++i) image[96 + i] = YesNo(sc4.flags[i]);
    image[102] = YesNo(sc4.flag7);
    // Each number is one hexadecimal digit on the card; a number outside its
    // range is written as its low four bits so it cannot spill into the
    // neighbouring fields.
    image[103] = HexUpper(static_cast<unsigned>(atoin(sc4.num1, 2)));
    std::memcpy(image + 104, sc4.text6, 6);
    std::memcpy(image + 110, sc4.text2a, 2);
    image[112] = HexUpper(static_cast<unsigned>(atoin(sc4.num2, 2) / 5 - 1));
    image[113] = HexUpper(static_cast<unsigned>(atoin(sc4.num3, 2)));
    std::memcpy(image + 114, sc4.text2b, 2);
    // 116-127 stay D.

    int check = 0x61;
    for (std::size_t pos = 96; pos <= 110; pos += 2) check ^= hex(image + pos);
    image[128] = HexUpper(static_cast<unsigned>(check) >> 4);
    image[129] = HexUpper(static_cast<unsigned>(check));

    // 130-159 and 328-415 stay D.
    image[416] = '0';
    image[417] = '2';
    image[418] = '0';
    image[419] = sc4.sel == '0' ? '1' : '2';
    image[420] = '0';
    image[421] = sc4.chr;
    image[422] = 'F';
    image[423] = YesNo(sc4.flag8);
    // 424-511 stay D.
}
