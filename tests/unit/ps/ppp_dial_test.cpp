// The MODEM-port dialler against a pseudo-terminal playing the modem: the answers it must
// recognise (also split across reads), the silent modem, the escape, and a missing port.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include <zorvik/host.h>
#include <zvril.h>

#include "ps/ps.h"

namespace {

class PppDial : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zvps-dial-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(system(("mkdir -p " + dir_ + "/dev").c_str()), 0);
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        ASSERT_EQ(symlink(ptsname(master_), (dir_ + "/dev/ttyUSB0").c_str()), 0);
        setenv("ZORVIK_ROOT", dir_.c_str(), 1);
        setenv("ZORVIK_TIME_SCALE", "20", 1);
        zv::ReloadHostEnvironment();
        strcpy(SERIAL_PORT_MODEM_KEYNAME, "/dev/ttyUSB0");
    }
    void TearDown() override {
        if (modem_.joinable()) modem_.join();
        close(master_);
        unsetenv("ZORVIK_ROOT");
        unsetenv("ZORVIK_TIME_SCALE");
        zv::ReloadHostEnvironment();
        EXPECT_EQ(system(("rm -rf " + dir_).c_str()), 0);
    }
    // The modem: reads one command up to CR (or 3 bytes of "+++"), then sends the pieces.
    void Answer(std::vector<std::string> pieces) {
        modem_ = std::thread([this, pieces] {
            std::string got;
            // Until the dialler opens the slave the master only sees a hang-up: wait it out.
            for (int waits = 0; waits < 500 && got.find('\r') == std::string::npos && got != "+++"; ++waits) {
                struct pollfd p = {master_, POLLIN, 0};
                char c;
                if (poll(&p, 1, 10) == 1 && (p.revents & POLLIN) && read(master_, &c, 1) == 1)
                    got += c;
                else
                    usleep(5000);
            }
            received_ = got;
            for (const std::string &piece : pieces) {
                if (write(master_, piece.data(), piece.size()) < 0) break;
                usleep(20000);
            }
        });
    }
    std::string dir_;
    int master_ = -1;
    std::thread modem_;
    std::string received_;
};

TEST_F(PppDial, AnswersOfTheModem) {
    struct {
        std::vector<std::string> pieces;
        int result;
    } const kCases[] = {
        {{"\r\nCONNECT 7200000\r\n"}, 0},
        {{"\r\nCONN", "ECT\r\n"}, 0},
        {{"\r\nNO CARRIE", "R\r\n"}, -1},
        {{"\r\nOK\r\n"}, -4},
        {{}, -4},
    };
    for (const auto &c : kCases) {
        Answer(c.pieces);
        EXPECT_EQ(dial_at_modem("AT+CGDATA=\"PPP\",1"), c.result) << (c.pieces.empty() ? "" : c.pieces[0]);
        modem_.join();
        EXPECT_EQ(received_, "AT+CGDATA=\"PPP\",1\r");
    }
}

TEST_F(PppDial, EscapeMissingPortAndNull) {
    Answer({});
    EXPECT_EQ(dial_at_modem("+++"), -1);
    modem_.join();
    EXPECT_EQ(received_, "+++") << "no carriage return after the escape";

    EXPECT_EQ(dial_at_modem(nullptr), -1);
    strcpy(SERIAL_PORT_MODEM_KEYNAME, "/dev/ttyUSB7");
    EXPECT_EQ(dial_at_modem("ATA"), -1);
    EXPECT_STREQ(SERIAL_PORT_MODEM_KEYNAME, "/dev/ttyUSB1") << "the next dial tries the other port";
    SERIAL_PORT_MODEM_KEYNAME[0] = '\0';
    Answer({"\r\nCONNECT\r\n"});
    EXPECT_EQ(dial_at_modem("ATD*99#"), 0) << "an empty name means /dev/ttyUSB0";
}

}  // namespace
