// modemsim: Call model: calls with their states, hold, conference, waiting; CLIR/CLIP/CCFC/CCWA/CMUT settings.
#include <modemsim/features.h>

namespace modemsim {

bool CallAnswer(Modem &, const std::string &, Modem::Lines *) { return false; }

}  // namespace modemsim
