// The TCE card image: six layout entries in blocks of 34 characters.
#include <kardo/callcard.h>

#include <cstring>

#include "cards/image_text.h"

using namespace kardo_image;

namespace {

// (layout entry, first image position of its characters) in card order.
struct TceBlock {
    int entry;
    std::size_t pos;
};
constexpr TceBlock kBlocks[6] = {{4, 130}, {0, 164}, {2, 198}, {7, 232}, {3, 266}, {5, 300}};

// An entry's three rows are read as one run of 16 characters.
constexpr std::size_t kRunLength = 16;

constexpr char kHeader[] =
    "1032FFFFFFFFFFFFFFFFFFFFFFFFFFFF14243503730202020202020202020202020202020202020202FFFFFFFFFFFF";
static_assert(sizeof kHeader - 1 == 94, "the TCE header fills positions 0 to 93");

}  // namespace

std::string Callcard::cardTCE2pin(char* work, const _kardodll_tagCHIP* layout) {
    if (layout) {
        for (const TceBlock& block : kBlocks) {
            const char* run = layout->entry[block.entry].rows;
            std::size_t p = block.pos;
            std::size_t n = 0;
            for (std::size_t i = 0; i < kRunLength; ++i) {
                if (IsG(run[i])) {
                    work[n++] = image[p];
                    p += 1;
                } else {
                    p += IsP(run[i]) ? 2 : 1;
                }
            }
            if (n > 0) {
                work[n] = '\0';
                return std::string(work, n);
            }
        }
    }
    return std::string(work);
}

void Callcard::pin2TCEcard(const char* value, const char* number, const _kardodll_tagCHIP* layout,
                           const _kardodll_tagCHIP*, unsigned char mode) {
    const std::size_t valueLength = ValueLength(value);

    std::memcpy(image, kHeader, 94);
    for (std::size_t block = 94; block < 434; block += 34) {
        std::memcpy(image + block, "00F0", 4);
        Fill(image, block + 4, block + 33, 'F');
    }

    std::size_t length = 0;  // Gs of the first block that has any
    if (layout) {
        for (const TceBlock& block : kBlocks) {
            const char* run = layout->entry[block.entry].rows;
            std::size_t runLength = RowLength(run, kRunLength);
            ValueCursor cursor(value, valueLength);
            std::size_t p = block.pos;  // at most 2 per character: stays inside the block
            std::size_t gs = 0;
            for (std::size_t i = 0; i < runLength; ++i) {
                char c = run[i];
                if (IsG(c)) {
                    c = cursor.Next();
                    ++gs;
                }
                switch (c) {
                    case '0': image[p++] = 'A'; break;
                    case '*': image[p++] = 'B'; break;
                    case '#': image[p++] = 'C'; break;
                    case 'P':
                    case 'p':
                        image[p++] = 'E';
                        image[p++] = '7';
                        break;
                    default: image[p++] = c; break;
                }
            }
            if (length == 0) length = gs;
        }
    }

    Fill(image, 434, 477, 'F');
    PutRecordTail(image, number, stamp, value, valueLength, length, mode);
    image[510] = '2';
    image[511] = '0';
}
