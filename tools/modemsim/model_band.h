// modemsim: Band lists and settings, SAR state.
// Plain data held in ModelState under the modem's lock; the answers live in band.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_BAND_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_BAND_H

#include <cstdint>
#include <string>

namespace modemsim {

// The band lists of real firmware (band.h has them all; UseBandList switches between them).
// The default is a GSM/UMTS/LTE module whose one band mask is not a regional preset.
struct BandModel {
    bool syscfgex = true;  // the firmware knows ^SYSCFGEX; older firmware answers it ERROR
    std::string syscfgex_test =
        "^SYSCFGEX: (\"00\",\"03\",\"02\",\"01\",\"99\"),((2000004e80380,\"GSM850/GSM900/GSM1800/GSM1900/"
        "WCDMA850/WCDMA900/WCDMA1900/WCDMA2100\"),(3fffffff,\"All Bands\")),(0-3),(0-4),((800c5,\"LTE2100/"
        "LTE1800/LTE2600/LTE900/LTE800\"),(7fffffffffffffff,\"All bands\"))";
    std::string syscfg_test =
        "^SYSCFG:(2,13,14,16),(0-3),((2000004e80380,\"GSM850/GSM900/GSM1800/GSM1900/WCDMA850/WCDMA900/"
        "WCDMA1900/WCDMA2100\"),(3fffffff,\"All bands\")),(0-2),(0-4)";
    // Every band bit of the offered masks: a setting may ask for any part of it, or for 3FFFFFFF.
    std::uint64_t supported = 0x2000004e80380ULL;
    std::string band = "3FFFFFFF";  // the band mask in use, as last set
    int sarctrl = -1;               // last AT^SARCTRL=<n>; -1 never set
    int sarctrl_commands = 0;       // how many AT^SARCTRL=<n> arrived
};

}  // namespace modemsim

#endif
