// Clbe: the LBE terminal family has no working driver; every operation
// succeeds at once and touches no port and no card.
#include "kardo/lbe.h"

Clbe::Clbe() : Callcard() {}
Clbe::Clbe(const Clbe& other) = default;
Clbe& Clbe::operator=(const Clbe& other) = default;
Clbe::~Clbe() = default;

int32_t Clbe::crd_open() { return 0; }
int32_t Clbe::close_card() { return 0; }
int32_t Clbe::rcard(std::string&, _kardodll_tagCHIP*) { return 0; }
int32_t Clbe::wcard(char*, char*, _kardodll_tagCHIP*, _kardodll_tagCHIP*, char) { return 0; }
int32_t Clbe::wpattr(int) { return 0; }
int32_t Clbe::wcard_service() { return 0; }
