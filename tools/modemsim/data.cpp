// modemsim: Packet data: PDP contexts, the NDIS connection, the modem's own DHCP answer, the MODEM port.
#include <modemsim/features.h>

namespace modemsim {

bool DataAnswer(Modem &, const std::string &, Modem::Lines *) { return false; }

}  // namespace modemsim
