// A pseudo-terminal in raw mode for the benchmarks: the master is the modem's end, the slave
// the library's. Setting up is not what they measure, so any failure ends the run.
#ifndef ZORVIK_BENCH_PTY_H
#define ZORVIK_BENCH_PTY_H

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace zvbench {

struct Pty {
    int master = -1;
    int slave = -1;
};

inline Pty OpenRawPty() {
    Pty p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0) abort();
    p.slave = open(ptsname(p.master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.slave < 0) abort();
    struct termios t;
    tcgetattr(p.slave, &t);
    cfmakeraw(&t);
    tcsetattr(p.slave, TCSANOW, &t);
    return p;
}

}  // namespace zvbench

#endif
