#ifndef KARDO_CALLCARD_H
#define KARDO_CALLCARD_H

/* Callcard: the base class of every card terminal driver. It holds what the
 * card facade hands to the selected driver and the card image, and converts
 * between record values and the image.
 *
 * The card image is the 256 bytes of a memory card as 512 characters of
 * hexadecimal text: position 2k holds the low nibble and 2k+1 the high nibble
 * of card byte k. It is never NUL-terminated and nothing writes past its
 * 512th character. */
#include <cstdint>
#include <string>

#include <kardo/card_messages.h>
#include <kardo/card_records.h>
#include <kardo/export.h>

class KARDO_API Callcard {
public:
    enum { IMAGE_SIZE = 512 };

    _kardodll_sc4tag sc4;    /* service-card record, set by the facade */
    unsigned char stamp[6];  /* six raw bytes written onto the cards */
    int32_t cardtype;        /* terminal type (CARDTYPE_*) */
    std::string port;        /* serial port name ("COM1", "/dev/ttyUSB0", ...) */
    /* The driver's open serial port as a handle of the library's port table,
     * -1 while closed. Owned by the driver: it opens and closes it. A copy of
     * a Callcard shares the handle. Handles are never given out twice in a
     * process, so a copy that outlives the close gets a failure, never
     * another driver's port. */
    int hport;
    HWND hwnd;                /* receives WM_CARDSTATE; may be null */
    char image[IMAGE_SIZE];   /* the card image, see above */
    unsigned char isopen;     /* 1 while the driver holds the port open */

    /* Empty port, no window, closed port (hport -1), every other field zero
     * and the image all '0' characters. */
    Callcard();
    virtual ~Callcard();
    Callcard(const Callcard&) = default;
    Callcard& operator=(const Callcard&) = default;

    /* Reads the value of a standard memory card record out of `image`: the
     * characters at the G positions of the first of layout entries 0 to 3
     * that has any, stored into `work` with a terminating NUL (at most 18
     * characters and the NUL: `work` must hold 19 bytes). When no entry has a
     * G, `work` is left as it is and returned as its text (it must then be
     * NUL-terminated). */
    std::string card2pin(char* work, const _kardodll_tagCHIP* layout);
    /* The same for a TCE card (at most 16 characters and the NUL). The
     * characters are returned as they stand in the image. */
    std::string cardTCE2pin(char* work, const _kardodll_tagCHIP* layout);

    /* Builds the complete standard memory card image. `value` is the record's
     * value (NUL-terminated; at most its first 12 characters are used),
     * `number` six characters (a NUL before the sixth ends it early), `layout`
     * the record's 8 entries, `extra` an entry whose rows are the extra
     * layout, `mode` the record mode byte. */
    void pin2card(const char* value, const char* number, const _kardodll_tagCHIP* layout,
                  const _kardodll_tagCHIP* extra, unsigned char mode);
    /* Builds the complete TCE card image (the extra layout is not used). */
    void pin2TCEcard(const char* value, const char* number, const _kardodll_tagCHIP* layout,
                     const _kardodll_tagCHIP* extra, unsigned char mode);
    /* Builds the service-card image from `sc4`. */
    void sc42card();

    /* The value 0 to 255 of two hexadecimal digits, the first the high
     * nibble; a character that is no hexadecimal digit counts as 0. */
    static int hex(const char* p);
    static int _hex2i(const char* p);
    /* Exchanges the two nibbles of each of `count` bytes. */
    static void swap4(unsigned char* p, unsigned count);
    /* Formats `value` with the printf format and copies the characters,
     * without a terminating NUL, to `dst`. */
    static void sprintxfhex(void* dst, const char* format, int value);
    /* Shows the system's text for the error code in a message box titled
     * "GetLastError". */
    static void disperr(uint32_t code);
    /* Dispatches every pending message of the calling thread to its window.
     * Returns -1 when WM_CARDABORT was among them (it is swallowed), else 0. */
    static int PumpMessages();
};

#endif
