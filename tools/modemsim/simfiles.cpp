// modemsim: SIM file system for +CRSM and the toolkit sessions.
#include <modemsim/features.h>

namespace modemsim {

bool SimFilesAnswer(Modem &, const std::string &, Modem::Lines *) { return false; }

}  // namespace modemsim
