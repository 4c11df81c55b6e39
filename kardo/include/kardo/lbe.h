#ifndef KARDO_LBE_H
#define KARDO_LBE_H

/* Clbe: the driver of LBE terminals, a family the card facade can select but
 * that has no working driver. Every operation returns 0 at once, leaves its
 * arguments as they are and sends nothing anywhere. */
#include <cstdint>
#include <string>

#include <kardo/callcard.h>
#include <kardo/card_records.h>
#include <kardo/export.h>

class KARDO_API Clbe : public Callcard {
public:
    Clbe();
    Clbe(const Clbe& other);
    Clbe& operator=(const Clbe& other);
    virtual ~Clbe();

    int32_t crd_open();
    int32_t close_card();
    /* The string is left exactly as it was. */
    int32_t rcard(std::string& value, _kardodll_tagCHIP* layout = nullptr);
    int32_t wcard(char* value, char* number = nullptr, _kardodll_tagCHIP* layout = nullptr,
                  _kardodll_tagCHIP* extra = nullptr, char mode = 0);
    int32_t wpattr(int number);
    int32_t wcard_service();
};

#endif
