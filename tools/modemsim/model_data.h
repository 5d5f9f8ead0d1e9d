// modemsim: Packet data: PDP contexts, the NDIS connection, the modem's own DHCP answer, the MODEM port.
// Plain data held in ModelState under the modem's lock; the answers live in data.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_DATA_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_DATA_H

namespace modemsim {

struct DataModel {};

}  // namespace modemsim

#endif
