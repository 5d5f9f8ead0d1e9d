// A passing shortage of file descriptors for tests: fills the descriptor table (under a
// lowered soft limit) with descriptors of /dev/null, leaving only `room` numbers free, until
// destroyed.
#ifndef ZORVIK_TESTS_SUPPORT_FD_SQUEEZE_H
#define ZORVIK_TESTS_SUPPORT_FD_SQUEEZE_H

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

namespace zvtest {

class FdSqueeze {
public:
    explicit FdSqueeze(size_t room) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        struct rlimit low = saved_;
        const rlim_t want = static_cast<rlim_t>(HighestFd() + 1 + 64);
        if (want < low.rlim_cur) low.rlim_cur = want;
        setrlimit(RLIMIT_NOFILE, &low);
        for (;;) {
            const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0) break;
            fds_.push_back(fd);
        }
        for (size_t i = 0; i < room && !fds_.empty(); ++i) {
            close(fds_.back());
            fds_.pop_back();
        }
    }
    ~FdSqueeze() {
        for (int fd : fds_) close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    FdSqueeze(const FdSqueeze &) = delete;
    FdSqueeze &operator=(const FdSqueeze &) = delete;

    static int HighestFd() {
        int highest = 2;
        if (DIR *d = opendir("/proc/self/fd")) {
            while (struct dirent *e = readdir(d)) {
                const int fd = atoi(e->d_name);
                if (fd > highest) highest = fd;
            }
            closedir(d);
        }
        return highest;
    }

private:
    struct rlimit saved_;
    std::vector<int> fds_;
};

}  // namespace zvtest

#endif
