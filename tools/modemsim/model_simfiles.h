// modemsim: SIM file system for +CRSM and the toolkit sessions.
// Plain data held in ModelState under the modem's lock; the answers live in simfiles.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_SIMFILES_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_SIMFILES_H

namespace modemsim {

struct SimFilesModel {};

}  // namespace modemsim

#endif
