// modemsim: Network model: registration, technology, signal, operators and selection, preferred mode.
// Plain data held in ModelState under the modem's lock; the answers live in network.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_NETWORK_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_NETWORK_H

namespace modemsim {

struct NetworkModel {};

}  // namespace modemsim

#endif
