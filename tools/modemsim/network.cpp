// modemsim: Network model: registration, technology, signal, operators and selection, preferred mode.
#include <modemsim/features.h>

namespace modemsim {

bool NetworkAnswer(Modem &, const std::string &, Modem::Lines *) { return false; }

}  // namespace modemsim
