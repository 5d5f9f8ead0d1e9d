#include <modemsim/pty_ends.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace modemsim {

void CloseFd(int &fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

bool OpenPtyEnds(int &master, int &slave, int &wake, char *path, std::size_t size) {
    bool ok = false;
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 && ptsname_r(master, path, size) == 0) {
        slave = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
        struct termios tio;
        if (slave >= 0 && tcgetattr(slave, &tio) == 0) {
            cfmakeraw(&tio);
            ok = tcsetattr(slave, TCSANOW, &tio) == 0;
        }
    }
    if (ok) {
        int flags = fcntl(master, F_GETFL);
        ok = flags >= 0 && fcntl(master, F_SETFL, flags | O_NONBLOCK) == 0;
    }
    if (ok) {
        wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        ok = wake >= 0;
    }
    if (!ok) {
        CloseFd(master);
        CloseFd(slave);
        CloseFd(wake);
    }
    return ok;
}

}  // namespace modemsim
