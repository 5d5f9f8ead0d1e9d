// modemsim: Band lists and settings, SAR state.
#include <modemsim/features.h>

namespace modemsim {

bool BandAnswer(Modem &, const std::string &, Modem::Lines *) { return false; }

}  // namespace modemsim
