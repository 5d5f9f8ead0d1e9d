// The simulated MODEM port as a dialler sees it: dials and their replies, the line going online
// and back through the escape or a hang-up, garbage before "AT", and a taker that gets the line.
#include <gtest/gtest.h>

#include <modemsim/data_port.h>
#include <modemsim/modemsim.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using modemsim::DialReply;

class DataPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(modem_.Plug());
        fd_ = open(modem_.data_port().SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd_, 0);
        struct termios t;
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
    }
    void TearDown() override {
        close(fd_);
        modem_.Unplug();
    }
    // Writes the bytes, then reads what comes within ms.
    std::string Say(const std::string &bytes, int ms = 150) {
        EXPECT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            struct pollfd p = {fd_, POLLIN, 0};
            char buf[256];
            if (poll(&p, 1, 20) == 1) {
                ssize_t n = read(fd_, buf, sizeof buf);
                if (n > 0) got.append(buf, static_cast<size_t>(n));
            }
        }
        return got;
    }
    modemsim::DataModel Data() { return modem_.State().data; }
    modemsim::Modem modem_;
    int fd_ = -1;
};

TEST_F(DataPortTest, DialsEscapesAndHangUps) {
    EXPECT_EQ(Say("ATZ\r"), "\r\nOK\r\n");
    EXPECT_EQ(Say("AT+CGDCONT?\r"), "\r\nERROR\r\n") << "only a dialler's commands";
    // The escape a failed dial leaves behind is not part of the next command.
    EXPECT_EQ(Say("+++"), "");
    EXPECT_EQ(Say("ATD*99#\r"), "\r\nCONNECT\r\n");
    EXPECT_TRUE(Data().online);
    EXPECT_EQ(Say(std::string("\x7e\xff\x03\xc0\x21 AT\r", 9)), "") << "online: data, not commands";
    EXPECT_EQ(Data().ppp_bytes, 9u);
    EXPECT_EQ(Say("+++"), "\r\nOK\r\n");
    EXPECT_FALSE(Data().online);
    EXPECT_EQ(Say("atd#777\r"), "\r\nCONNECT\r\n");
    EXPECT_EQ(Say("ATH\r"), "\r\nNO CARRIER\r\n") << "the port reopened: the call drops";
    EXPECT_EQ(Data().hangups, 2);
    EXPECT_EQ(Data().escapes, 2);
    EXPECT_EQ(modem_.data_port().Commands(),
              (std::vector<std::string>{"ATZ", "AT+CGDCONT?", "+++", "ATD*99#", "+++", "atd#777", "ATH"}));

    modem_.Update([](modemsim::ModelState &s) { s.data.dial_reply = DialReply::kNoCarrier; });
    EXPECT_EQ(Say("AT+CGDATA=\"PPP\",1\r"), "\r\nNO CARRIER\r\n");
    modem_.Update([](modemsim::ModelState &s) { s.data.dial_reply = DialReply::kSilent; });
    EXPECT_EQ(Say("ATD*99#\r", 300), "");
    EXPECT_FALSE(Data().online);
    EXPECT_EQ(Data().dials, 4);
}

// After CONNECT a taker's program owns the line; when it ends the call drops.
TEST_F(DataPortTest, TakerGetsTheLine) {
    modem_.data_port().SetTaker([](int master) -> pid_t {
        pid_t pid = fork();
        if (pid == 0) {
            dup2(master, 0);
            dup2(master, 1);
            execl("/bin/sh", "sh", "-c", "sleep 0.3; read -r line; echo \"peer got $line\"", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(master);
        return pid;
    });
    EXPECT_EQ(Say("ATD*99#\r"), "\r\nCONNECT\r\n");
    std::string got = Say("hello\n", 1000);
    EXPECT_NE(got.find("peer got hello"), std::string::npos) << got;
    EXPECT_NE(got.find("NO CARRIER"), std::string::npos) << got;
    EXPECT_FALSE(Data().online);
    EXPECT_EQ(Data().hangups, 1);
}

}  // namespace
