#ifndef KARDO_CARD_H
#define KARDO_CARD_H

/* Ccard: the one class an application uses for chip cards. It is told once,
 * with initCardType, which terminal is attached (the terminal type and its
 * serial port), how the records lie on the memory cards, the stamp written
 * onto every card, the service-card record and the window that receives the
 * progress messages. Every operation then opens the terminal, hands the work
 * to the driver of the chosen terminal type and closes the terminal again.
 *
 * All operations run on the calling thread and block it while the terminal
 * works; the drivers keep dispatching the thread's window messages, post
 * WM_CARDSTATE to the window and end with their abort code (-102) when
 * WM_CARDABORT reaches the thread (kardo_post_card_abort). One Ccard is used
 * by one thread at a time.
 *
 * Results are 0 for success; a driver's failure code (-100 to -107) is
 * handed through unchanged; -1 when the terminal type selects no driver for
 * the operation, when a value cannot be written as asked, or when a record
 * read back after writing differs from the value given (then the message
 * "Fehler beim Beschreiben der Karte: soll %s, ist %s" is shown first).
 *
 * Texts are Windows-1252 bytes, except the strings of _kardodll_KVKINFO: they
 * keep the insurance card's 7-bit characters with the German letters turned
 * into code page 437 (0x8E 0x99 0x9A 0x84 0x94 0x81 0xE1 for Ä Ö Ü ä ö ü ß,
 * see convger); convert them before showing them (iconv from "CP437"). */
#include <cstdint>
#include <string>

#include <kardo/callcard.h>
#include <kardo/card_records.h>
#include <kardo/export.h>
#include <kardo/cherry.h>
#include <kardo/g81.h>
#include <kardo/lbe.h>
#include <kardo/pki.h>

class KARDO_API Ccard {
public:
    int32_t cardtype;        /* terminal type (CARDTYPE_*); 0: none chosen yet */
    int32_t patmode;         /* 1 number record, 2 TCE card, else standard layout */
    _kardodll_CHIP chip;     /* the card layout; ppspin/patpin hold 6 zero bytes, then the rows */
    int32_t ppslen;          /* value characters of the pps record, 0 to 12 */
    int32_t patlen;          /* value characters of the pat record, 0 to 6 */
    unsigned char stamp[6];  /* written onto every card */
    _kardodll_sc4tag sc4;    /* the service-card record */
    _kardodll_KVKINFO kvk;   /* the result of the last rdkvk */
    Cpki pki;                /* terminal types 2 and 3 */
    Clbe lbe;                /* terminal type 1 */
    Ccherry cherry;          /* terminal type 4 */
    Cg81 g81;                /* terminal type 5 */

    Ccard();
    Ccard(const Ccard&) = default;
    Ccard& operator=(const Ccard&) = default;
    virtual ~Ccard();

    /* Chooses the terminal and the records. The selected driver (types 1 to
     * 5) takes sc4, stamp, port, hwnd and the type; the others keep theirs. */
    void initCardType(int cardtype, std::string port, int ppslen, int patlen, const unsigned char* stamp,
                      _kardodll_CHIP chip, _kardodll_sc4tag sc4, HWND hwnd, int patmode);

    /* The driver's crd_open / close_card result; -1 for no driver. */
    int32_t open_card();
    int32_t close_card();

    /* Read a record: on 0 the string holds the value; a failed read empties
     * it; -1 without a driver leaves it unchanged. */
    int32_t pps_rcard(std::string& value);
    int32_t pat_rcard(std::string& value);
    /* Write a record: the value's first 12 (pps) or 6 (pat) characters
     * right-aligned, of which the last ppslen / patlen go onto the card, and
     * the number modulo 1000000. With patmode 1 (and patmode 2 on Cherry and
     * G81 terminals) the value must be a whole number in int range: it is
     * written as a number record, otherwise -1 before the terminal is
     * opened. Pieces written before a failure or an abort stay on the card. */
    int32_t pps_wcard(long number, std::string value);
    int32_t pat_wcard(long number, std::string value, unsigned char mode);
    /* The gst record: the whole value with the pat layout and mode 0; the
     * number left-aligned; not read back. */
    int32_t gst_wcard(long number, std::string value);
    /* Writes the service card from sc4 (not on LBE terminals: -1). */
    int32_t sc4_wcard();

    /* Reads the health insurance card (terminal types 3, 4 and 5): waits
     * for a card until WM_CARDABORT, or until a port failure has closed the
     * driver's port; `valid` 1 when the card's data template was read. */
    _kardodll_KVKINFO rdkvk();
    /* The insurance card's German letters ([ \ ] { | } ~) in code page 437,
     * in place. */
    void convger(unsigned char* text, int count);

    /* 0 while the selected driver sees a card ready in the open terminal
     * (the test rdkvk waits on); non-zero otherwise, -1 for a terminal type
     * that reads no insurance cards. */
    int32_t card_ready();
};

#endif
