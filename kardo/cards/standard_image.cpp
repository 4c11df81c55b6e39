// The standard memory card image: a record value at the G positions of a
// layout of 8 entries, plus the record's fixed fields.
#include <kardo/callcard.h>

#include <cstring>

#include "cards/image_text.h"

using namespace kardo_image;

namespace {

const char* const kBlankRows = "                  ";

const char* RowsOf(const _kardodll_tagCHIP* layout, int entry) {
    return layout ? layout->entry[entry].rows : kBlankRows;
}

// The number of Gs of an entry's three rows (each up to its first blank).
std::size_t CountG(const char* rows) {
    std::size_t n = 0;
    for (int r = 0; r < 3; ++r) {
        const char* row = rows + 6 * r;
        std::size_t len = RowLength(row, 6);
        for (std::size_t c = 0; c < len; ++c) n += IsG(row[c]);
    }
    return n;
}

}  // namespace

std::string Callcard::card2pin(char* work, const _kardodll_tagCHIP* layout) {
    for (int entry = 0; entry < 4; ++entry) {
        const char* rows = RowsOf(layout, entry);
        std::size_t n = 0;
        for (int r = 0; r < 3; ++r) {
            const char* row = rows + 6 * r;
            std::size_t len = RowLength(row, 6);
            for (std::size_t c = 0; c < len; ++c)
                if (IsG(row[c])) work[n++] = image[34 + 8 * (3 * entry + r) + c];
        }
        if (n > 0) {
            work[n] = '\0';
            return std::string(work, n);
        }
    }
    return std::string(work);
}

void Callcard::pin2card(const char* value, const char* number, const _kardodll_tagCHIP* layout,
                        const _kardodll_tagCHIP* extra, unsigned char mode) {
    static const char kGroup[4] = {'1', '2', '4', '8'};
    const std::size_t valueLength = ValueLength(value);

    std::memset(image, 'D', kImageSize);
    std::size_t length = 0;  // Gs of the first entry that has any
    for (int i = 0; i < 8; ++i) {
        const char group = kGroup[i % 4];
        const std::size_t headPos = i < 4 ? 8 * i : 288 + 8 * (i - 4);
        const std::size_t rowsPos = i < 4 ? 32 + 24 * i : 320 + 24 * (i - 4);

        const char* head = layout ? layout->entry[i].head : kBlankRows;
        std::size_t headLength = RowLength(head, 6);
        image[headPos] = static_cast<char>('0' + headLength);
        image[headPos + 1] = group;
        std::memcpy(image + headPos + 2, head, headLength);  // literally; D after

        const char* rows = RowsOf(layout, i);
        ValueCursor cursor(value, valueLength);
        for (int r = 0; r < 3; ++r) PutLayoutRow(image, rowsPos + 8 * r, rows + 6 * r, group, &cursor);
        if (length == 0) length = CountG(rows);
    }

    const char* extraRows = RowsOf(extra, 0);
    ValueCursor cursor(value, valueLength);
    for (int r = 0; r < 3; ++r) PutLayoutRow(image, 448 + 8 * r, extraRows + 6 * r, '1', &cursor);
    if (length == 0) length = CountG(extraRows);

    Fill(image, 128, 129, 'F');
    Fill(image, 130, 147, '0');
    // 148-287, 416-447 and 472-477 keep the D filled in above.
    PutRecordTail(image, number, stamp, value, valueLength, length, mode);
    Fill(image, 510, 511, '0');
}
