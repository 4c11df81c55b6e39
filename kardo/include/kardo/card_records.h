#ifndef KARDO_CARD_RECORDS_H
#define KARDO_CARD_RECORDS_H

/* The records that pass between the card facade, the card image conversions
 * and the terminal drivers. Character fields are fixed-width Windows-1252
 * text without a terminator; the structures are packed so that their layout
 * is the same for every compiler and every caller. */
#include <cstddef>
#include <cstdint>
#include <string>

#pragma pack(push, 1)

/* Where the digits of one data record lie on a memory card: 8 layout entries.
 * `head` is written literally into the entry's header row (a blank ends it);
 * `rows` are three rows of six layout characters (a blank ends a row). */
struct _kardodll_tagCHIP {
    struct Entry {
        char head[6];
        char rows[18];
    } entry[8];
};

/* The complete card layout an application hands to the facade. `ppspin` and
 * `patpin` are extra layouts: three rows of six characters in their first 18
 * bytes; the last 6 bytes are unused. */
struct _kardodll_CHIP {
    _kardodll_tagCHIP pps;
    _kardodll_tagCHIP pat; /* also used for the gst record */
    char ppspin[24];
    char patpin[24];
};

/* The service-card record. Yes/no switches hold 'J' for yes. */
struct _kardodll_sc4tag {
    char flags[6];
    char flag7;
    char flag8;
    char text6[6];
    char text2a[2];
    char text2b[2];
    char groups[180]; /* ten groups of three rows of six layout characters */
    char num1[2];     /* two decimal digits, 0 to 15 */
    char num2[2];     /* two decimal digits, a multiple of 5 from 5 to 80 */
    char num3[2];     /* two decimal digits, 0 to 15 */
    char sel;         /* the digit 0 or another character */
    char chr;         /* copied unchanged */
};

#pragma pack(pop)

static_assert(sizeof(_kardodll_tagCHIP::Entry) == 24, "layout entry is 24 bytes");
static_assert(offsetof(_kardodll_tagCHIP::Entry, rows) == 6, "rows follow the six head characters");
static_assert(sizeof(_kardodll_tagCHIP) == 192, "card layout is 192 bytes");
static_assert(offsetof(_kardodll_CHIP, pps) == 0, "pps at 0");
static_assert(offsetof(_kardodll_CHIP, pat) == 192, "pat at 192");
static_assert(offsetof(_kardodll_CHIP, ppspin) == 384, "ppspin at 384");
static_assert(offsetof(_kardodll_CHIP, patpin) == 408, "patpin at 408");
static_assert(sizeof(_kardodll_CHIP) == 432, "complete layout is 432 bytes");
static_assert(offsetof(_kardodll_sc4tag, flags) == 0, "flags at 0");
static_assert(offsetof(_kardodll_sc4tag, flag7) == 6, "flag7 at 6");
static_assert(offsetof(_kardodll_sc4tag, flag8) == 7, "flag8 at 7");
static_assert(offsetof(_kardodll_sc4tag, text6) == 8, "text6 at 8");
static_assert(offsetof(_kardodll_sc4tag, text2a) == 14, "text2a at 14");
static_assert(offsetof(_kardodll_sc4tag, text2b) == 16, "text2b at 16");
static_assert(offsetof(_kardodll_sc4tag, groups) == 18, "groups at 18");
static_assert(offsetof(_kardodll_sc4tag, num1) == 198, "num1 at 198");
static_assert(offsetof(_kardodll_sc4tag, num2) == 200, "num2 at 200");
static_assert(offsetof(_kardodll_sc4tag, num3) == 202, "num3 at 202");
static_assert(offsetof(_kardodll_sc4tag, sel) == 204, "sel at 204");
static_assert(offsetof(_kardodll_sc4tag, chr) == 205, "chr at 205");
static_assert(sizeof(_kardodll_sc4tag) == 206, "service-card record is 206 bytes");

/* The data set of a health insurance card as the facade returns it. The
 * strings keep the card's 7-bit characters with its German letters in code
 * page 437 (Ccard::convger), not Windows-1252. It holds
 * strings, so unlike the fixed-width records above it is an ordinary
 * (unpacked) structure; copying copies the strings, destruction frees them. */
struct _kardodll_KVKINFO {
    int32_t valid = 0; /* 1 when the insurance card was read, else 0 */
    std::string title;
    std::string firstname;
    std::string surname;
    std::string street;
    std::string postcode;
    std::string town;
};

/* Terminal types: the value of `cardtype` that selects a driver. */
enum : int32_t {
    CARDTYPE_LBE = 1,     /* LBE terminal (stub driver) */
    CARDTYPE_PKI = 2,     /* PKI terminal */
    CARDTYPE_PKI_KVK = 3, /* PKI terminal that also reads insurance cards */
    CARDTYPE_CHERRY = 4,  /* Cherry terminal */
    CARDTYPE_G81 = 5,     /* G81 terminal */
};

#endif
