// modemsim: Call model: calls with their states, hold, conference, waiting; CLIR/CLIP/CCFC/CCWA/CMUT settings.
// Plain data held in ModelState under the modem's lock; the answers live in calls.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_CALLS_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_CALLS_H

namespace modemsim {

struct CallModel {};

}  // namespace modemsim

#endif
