// modemsim: the band lists of real firmware, for tests that need a particular one.
#ifndef ZORVIK_TOOLS_MODEMSIM_BAND_H
#define ZORVIK_TOOLS_MODEMSIM_BAND_H

#include <modemsim/modemsim.h>

namespace modemsim {

enum class BandList {
    kSyscfgexLte,    // ^SYSCFGEX with an LTE list; one unknown GSM/UMTS mask and "All Bands" (the default)
    kSyscfgexNoLte,  // ^SYSCFGEX without LTE (empty LTE field); "All Bands" first, two preset masks
    kSyscfgPresets,  // ^SYSCFG only: three known masks, "(0)" as the acquisition order list
    kSyscfgSingle,   // ^SYSCFG only: one band, WCDMA2100
};

// Sets the test answers and the supported bands of that firmware.
void UseBandList(BandModel &band, BandList list);

}  // namespace modemsim

#endif
