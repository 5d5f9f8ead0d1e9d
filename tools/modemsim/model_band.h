// modemsim: Band lists and settings, SAR state.
// Plain data held in ModelState under the modem's lock; the answers live in band.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_BAND_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_BAND_H

namespace modemsim {

struct BandModel {};

}  // namespace modemsim

#endif
