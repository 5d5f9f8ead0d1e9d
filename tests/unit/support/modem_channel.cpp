#include "unit/support/modem_channel.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "atchannel/atchannel.h"

namespace zvtest {

bool OpenChannelOn(modemsim::Modem &modem) {
    if (!modem.Plug()) return false;
    int fd = open(modem.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct termios t;
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    if (at_open(fd, [](const char *, const char *) {}) != 0) {
        close(fd);
        return false;
    }
    return true;
}

void CloseChannelOn(modemsim::Modem &modem) {
    at_close();
    modem.Unplug();
}

}  // namespace zvtest
