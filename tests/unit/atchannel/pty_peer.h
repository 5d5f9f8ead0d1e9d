// A scripted modem on the master side of a pseudo-terminal, small enough to reason about in
// a channel test: it records every command (up to CR, or up to and including Ctrl-Z for a
// PDU), answers through one function, and lets the test write any bytes at any time.
#ifndef ZORVIK_TESTS_UNIT_ATCHANNEL_PTY_PEER_H
#define ZORVIK_TESTS_UNIT_ATCHANNEL_PTY_PEER_H

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zvtest {

class PtyPeer {
  public:
    // Returns the bytes to send back for a received command ("" sends nothing).
    using Answer = std::function<std::string(const std::string &command)>;

    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) abort();
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) abort();
        struct termios t;
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        if (pipe2(wake_, O_CLOEXEC) != 0) abort();
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyPeer() {
        Stop();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
        close(wake_[0]);
        close(wake_[1]);
    }

    int TakeSlave() {
        int fd = slave_;
        slave_ = -1;
        return fd;
    }
    void SetAnswer(Answer answer) {
        std::lock_guard<std::mutex> lock(mu_);
        answer_ = std::move(answer);
    }
    void Send(const std::string &bytes) {
        size_t off = 0;
        while (off < bytes.size()) {
            ssize_t n = write(master_, bytes.data() + off, bytes.size() - off);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            off += static_cast<size_t>(n);
        }
    }
    // Waits until `count` received commands start with `prefix`.
    bool WaitReceived(const std::string &prefix, size_t count = 1) {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, std::chrono::seconds(20), [&] { return CountLocked(prefix) >= count; });
    }
    size_t Count(const std::string &prefix) {
        std::lock_guard<std::mutex> lock(mu_);
        return CountLocked(prefix);
    }
    // Closes the master: the channel's reader sees the port vanish.
    void Unplug() {
        Stop();
        close(master_);
        master_ = -1;
    }

  private:
    size_t CountLocked(const std::string &prefix) const {
        size_t n = 0;
        for (const std::string &c : received_) n += c.compare(0, prefix.size(), prefix) == 0;
        return n;
    }
    void Stop() {
        if (!thread_.joinable()) return;
        char b = 0;
        (void)!write(wake_[1], &b, 1);
        thread_.join();
    }
    void Run() {
        std::string partial;
        char buf[4096];
        for (;;) {
            struct pollfd pfd[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (poll(pfd, 2, -1) < 0) continue;
            if (pfd[1].revents) return;
            ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0) return;  // the channel closed the slave
            partial.append(buf, static_cast<size_t>(n));
            size_t end;
            while ((end = partial.find_first_of("\r\x1a")) != std::string::npos) {
                const bool pdu = partial[end] == '\x1a';
                std::string command = partial.substr(0, pdu ? end + 1 : end);
                partial.erase(0, end + 1);
                Answer answer;
                {
                    std::lock_guard<std::mutex> lock(mu_);
                    received_.push_back(command);
                    answer = answer_;
                }
                cv_.notify_all();
                if (answer) Send(answer(command));
            }
        }
    }

    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::string> received_;
    Answer answer_;
    std::thread thread_;
};

}  // namespace zvtest

#endif
