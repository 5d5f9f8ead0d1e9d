// modemsim: Message store and delivery: SM/ME stores, +CNMI routing, cell broadcast settings.
#include <modemsim/features.h>

namespace modemsim {

bool SmsAnswer(Modem &, const std::string &, Modem::Lines *) { return false; }

}  // namespace modemsim
