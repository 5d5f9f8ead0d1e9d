// The simulator's end of one serial port: a pseudo-terminal whose master it serves, whose slave
// it keeps open itself (so the master never sees a hang-up between the user's opens), and an
// eventfd that wakes the serving thread.
#ifndef ZORVIK_TOOLS_MODEMSIM_PTY_ENDS_H
#define ZORVIK_TOOLS_MODEMSIM_PTY_ENDS_H

#include <cstddef>

namespace modemsim {

// Opens all three: the slave raw before anyone else opens it (a cooked slave would echo the
// answers back), the master non-blocking. On failure closes what it opened and returns false.
// path receives the slave's name.
bool OpenPtyEnds(int &master, int &slave, int &wake, char *path, std::size_t size);

void CloseFd(int &fd);

}  // namespace modemsim

#endif
