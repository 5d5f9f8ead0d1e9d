// The dialler on the MODEM tty: writes one command, then waits up to 31 s for "CONNECT" or
// "NO CARRIER". It opens the tty for the length of one dial, outside the AT channel.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include <zorvik/host.h>
#include <zvlog.h>
#include <zvstr.h>

#include "atchannel/atchannel.h"

#include "ps/ps.h"
#include "ps/ps_internal.h"

namespace {

constexpr long long kAnswerWaitMs = 31000;
// A terminal that keeps refusing its attributes (other than by going away) is given up on.
constexpr int kAttributeAttempts = 10;
constexpr size_t kChunk = 20;
// What is kept of earlier chunks, so an answer split across two reads is still seen.
constexpr size_t kCarry = sizeof("NO CARRIER") - 2;

constexpr char kPort[] = "modem";
// The longest answer line a recording keeps whole (the AT channel's own line bound).
constexpr size_t kMaxRecordedLine = 8192;

// The dialler's side of the MODEM port for a recording: the port's opening and closing, the
// command, and the modem's answer cut into lines (the dialler itself only looks for a word).
class PortRecord {
public:
    PortRecord() { zv::RecordModemLine(kPort, ZV_MODEM_OPEN, nullptr, 0); }
    ~PortRecord() {
        Flush();
        zv::RecordModemLine(kPort, ZV_MODEM_CLOSE, nullptr, 0);
    }
    PortRecord(const PortRecord &) = delete;
    PortRecord &operator=(const PortRecord &) = delete;

    void Command(const char *command) { zv::RecordModemLine(kPort, ZV_MODEM_CMD, command, strlen(command)); }
    void Answer(const char *bytes, size_t n) {
        if (zv::ModemRecording() == zv::kModemRecordOff) return;
        for (size_t i = 0; i < n; ++i) {
            if (bytes[i] == '\r' || bytes[i] == '\n') {
                Flush();
            } else if (line_.size() < kMaxRecordedLine) {
                line_.push_back(bytes[i]);
            }
        }
    }

private:
    void Flush() {
        if (!line_.empty()) zv::RecordModemLine(kPort, ZV_MODEM_ANS, line_.data(), line_.size());
        line_.clear();
    }
    std::string line_;
};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string ModemPort() {
    pthread_mutex_lock(&s_state_mutex);
    if (!SERIAL_PORT_MODEM_KEYNAME[0]) zv::CopyBounded(SERIAL_PORT_MODEM_KEYNAME, sizeof SERIAL_PORT_MODEM_KEYNAME, "/dev/ttyUSB0");
    std::string path(SERIAL_PORT_MODEM_KEYNAME);
    pthread_mutex_unlock(&s_state_mutex);
    return path;
}

void SetModemPort(const char *path) {
    pthread_mutex_lock(&s_state_mutex);
    zv::CopyBounded(SERIAL_PORT_MODEM_KEYNAME, sizeof SERIAL_PORT_MODEM_KEYNAME, path);
    pthread_mutex_unlock(&s_state_mutex);
}

// A port that never takes the bytes (flow stopped, a line discipline that refuses them) is
// given up on after this long instead of being retried for ever.
constexpr long long kWriteWaitMs = 3000;

bool WriteAll(int fd, const char *data, size_t length, bool retryZero) {
    const long long deadline = zv::ps::NowMs() + kWriteWaitMs;
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if ((n < 0 && errno == EAGAIN) || (n == 0 && retryZero)) {
            if (zv::ps::NowMs() >= deadline) {
                errno = EAGAIN;
                return false;
            }
            struct pollfd p = {fd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

extern "C" {

int dial_at_modem(const char *command) {
    if (!command) return -1;
    const std::string path = ModemPort();
    Fd fd(open(zv::RootPath(path.c_str()).c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    RLOGD("dial_at_modem : open %s\n", path.c_str());
    if (fd.get() < 0) {
        RLOGD("dial_at_modem : open %s error! %s", path.c_str(), strerror(errno));
        SetModemPort("/dev/ttyUSB1");
        return -1;
    }
    PortRecord record;
    // A pppd that was killed leaves its line discipline on the port while anything else keeps
    // it open, and that discipline refuses every write: the dialler's commands need the
    // terminal's own.
    int ldisc = N_TTY;
    if (ioctl(fd.get(), TIOCGETD, &ldisc) == 0 && ldisc != N_TTY) {
        ldisc = N_TTY;
        ioctl(fd.get(), TIOCSETD, &ldisc);
    }
    struct termios ios;
    if (tcgetattr(fd.get(), &ios) < 0) {
        RLOGD("modem : tcgetattr error %s", strerror(errno));
        return -1;
    }
    ios.c_iflag = IGNBRK | IGNPAR;
    ios.c_oflag = 0;
    ios.c_lflag = 0;
    ios.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CREAD | PARENB | HUPCL | CLOCAL);
    ios.c_cflag |= CS8 | CREAD | CLOCAL;
    ios.c_cc[VMIN] = 1;
    ios.c_cc[VTIME] = 0;
    for (int attempt = 0; attempt < kAttributeAttempts && tcsetattr(fd.get(), TCSAFLUSH, &ios) < 0; ++attempt) {
        if (errno == EIO) break;
        if (errno != EINTR) RLOGD("tcflush: (line %d - error %s).\n", 1852, strerror(errno));
    }
    tcflush(fd.get(), TCIOFLUSH);

    // The command itself may be a dial string: only its length goes to the log.
    RLOGD("modem : write %s ", zv::Format("(%zu bytes)", strlen(command)).c_str());
    record.Command(command);
    if (!WriteAll(fd.get(), command, strlen(command), false)) {
        RLOGD("modem : write modem error %s", strerror(errno));
        return -1;
    }
    if (strcmp(command, "+++") == 0) return -1;
    if (!WriteAll(fd.get(), "\r", 1, true)) {
        RLOGD("modem : write modem1 error");
        return -1;
    }

    // Waits in poll, never spinning on the non-blocking descriptor.
    const long long deadline = zv::ps::NowMs() + zv::ScaleMs(kAnswerWaitMs);
    std::string seen;
    for (;;) {
        long long left = deadline - zv::ps::NowMs();
        if (left <= 0) break;
        struct pollfd p = {fd.get(), POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        char chunk[kChunk + 1];
        ssize_t n = read(fd.get(), chunk, kChunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            // The port went away: no answer will come.
            RLOGD("dial_at_modem : read %s", n < 0 ? strerror(errno) : "end of file");
            return -1;
        }
        chunk[n] = '\0';
        record.Answer(chunk, static_cast<size_t>(n));
        RLOGD("====== read from modem:%s=======", zv::Format("(%zd bytes)", n).c_str());
        seen.append(chunk, static_cast<size_t>(n));
        if (seen.find("CONNECT") != std::string::npos) return 0;
        if (seen.find("NO CARRIER") != std::string::npos) return -1;
        if (seen.size() > kCarry) seen.erase(0, seen.size() - kCarry);
    }
    return -4;
}

}  // extern "C"
