// The simulated modem, driven from the slave side with plain reads and writes as the library's
// AT channel does.

#include <modemsim/modemsim.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace modemsim {
namespace {

using namespace std::chrono_literals;

class Slave {
  public:
    explicit Slave(const std::string &path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        struct termios tio;
        if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Slave() {
        if (fd_ >= 0) close(fd_);
    }
    int fd() const { return fd_; }
    void Write(const std::string &bytes) { ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    // Everything received until `done` holds for it or the time is up.
    template <typename Done>
    std::string ReadWhile(Done done, int timeout_ms) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (!done(got)) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            struct pollfd p = {fd_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[4096];
            ssize_t n = read(fd_, buf, sizeof(buf));
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    std::string ReadUntil(const std::string &needle, int timeout_ms = 2000) {
        return ReadWhile([&](const std::string &got) { return got.find(needle) != std::string::npos; }, timeout_ms);
    }
    // Reads up to a final result line, or the prompt.
    std::string ReadAnswer(int timeout_ms = 2000) {
        auto final = [](const std::string &got) {
            if (got.size() >= 4 && got.compare(got.size() - 4, 4, "\r\n> ") == 0) return true;
            if (got.size() < 2 || got.compare(got.size() - 2, 2, "\r\n") != 0) return false;
            const std::size_t start = got.rfind("\r\n", got.size() - 3);
            const std::string line = got.substr(start == std::string::npos ? 0 : start + 2);
            return line == "OK\r\n" || line == "ERROR\r\n" || line.rfind("+CME ERROR:", 0) == 0 ||
                   line.rfind("+CMS ERROR:", 0) == 0;
        };
        return ReadWhile(final, timeout_ms);
    }
    // Sends a command line and returns its answer.
    std::string Ask(const std::string &command, int timeout_ms = 2000) {
        Write(command + "\r");
        return ReadAnswer(timeout_ms);
    }

  private:
    int fd_;
};

class ModemTest : public ::testing::Test {
  protected:
    void SetUp() override { Start(ModuleType::kWcdma); }
    void Start(ModuleType type) {
        slave_.reset();
        modem_ = std::make_unique<Modem>(type);
        ASSERT_TRUE(modem_->Plug());
        slave_ = std::make_unique<Slave>(modem_->SlavePath());
        ASSERT_GE(slave_->fd(), 0);
    }
    std::unique_ptr<Modem> modem_;
    std::unique_ptr<Slave> slave_;
};

TEST_F(ModemTest, StartUpAnswersFollowTheModuleType) {
    struct Case {
        ModuleType type;
        const char *hs;
        const char *sysinfo;
        bool td_command_known;
        bool cdma_command_known;
    } cases[] = {
        {ModuleType::kWcdma, "^HS:11111111,0,0,4,0", "^SYSINFO: 2,3,0,5,1,,4", false, false},
        {ModuleType::kTdscdma, "^HS:11111111,0,0,3,0", "^SYSINFO: 2,3,0,15,1,,15", true, false},
        {ModuleType::kCdma, "^HS:11111111,0,0,1,0", "^SYSINFO: 2,3,0,2,1,,0", false, true},
        {ModuleType::kCdmaNoCard, "^HS:11111111,0,0,1,0", "^SYSINFO: 2,3,0,2,240,,0", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(ModuleTypeName(c.type));
        Start(c.type);
        for (const char *ok : {"AT", "ATE0", "ATQ0V1", "ATS0=0", "AT+CMEE=1", "ATE0V1"}) {
            EXPECT_EQ(slave_->Ask(ok), "\r\nOK\r\n") << ok;
        }
        EXPECT_EQ(slave_->Ask("AT^HS=0,0"), std::string("\r\n") + c.hs + "\r\n\r\nOK\r\n");
        EXPECT_EQ(slave_->Ask("AT^SYSINFO"), std::string("\r\n") + c.sysinfo + "\r\n\r\nOK\r\n");
        EXPECT_EQ(slave_->Ask("AT^PLATFORM?"), "\r\n^PLATFORM: 1\r\n\r\nOK\r\n");
        EXPECT_EQ(slave_->Ask("AT^NDISCAP?"), "\r\n^NDISCAP: 1,1\r\n\r\nOK\r\n");
        EXPECT_EQ(slave_->Ask("AT*PSSIMSTAT=1"), c.td_command_known ? "\r\nOK\r\n" : "\r\nERROR\r\n");
        EXPECT_EQ(slave_->Ask("AT^RSSIREP=1"), c.cdma_command_known ? "\r\nOK\r\n" : "\r\nERROR\r\n");
        EXPECT_EQ(slave_->Ask("AT+CPIN?"),
                  c.type == ModuleType::kCdmaNoCard ? "\r\n+CME ERROR: 10\r\n" : "\r\n+CPIN: READY\r\n\r\nOK\r\n");
    }
}

TEST_F(ModemTest, SplitsInputOnCarriageReturnLikeAModem) {
    // Two commands in one write, a line feed after each, one command byte by byte, an empty line.
    slave_->Write("AT+CSQ\r\nAT+CGSN\r\n\r");
    EXPECT_EQ(slave_->ReadUntil("OK\r\n\r\n351234567890123\r\n\r\nOK\r\n"),
              "\r\n+CSQ: 20,99\r\n\r\nOK\r\n\r\n351234567890123\r\n\r\nOK\r\n");
    for (char c : std::string("AT+CGMR\r")) slave_->Write(std::string(1, c));
    EXPECT_EQ(slave_->ReadUntil("OK\r\n"), "\r\n21.110.99.01.00\r\n\r\nOK\r\n");
    slave_->Write("AT+CSX\bQ\r");  // backspace edits the line
    EXPECT_EQ(slave_->ReadUntil("OK\r\n"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_EQ(modem_->Commands(), (std::vector<std::string>{"AT+CSQ", "AT+CGSN", "AT+CGMR", "AT+CSQ"}));
}

TEST_F(ModemTest, EchoFollowsATE) {
    EXPECT_EQ(slave_->Ask("AT"), "\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("ATE1"), "\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CSQ"), "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    // The change applies from the next command on, even within one write.
    slave_->Write("ATE0V1\rAT\rATE1\rAT\r");
    EXPECT_EQ(slave_->ReadUntil("AT\r\r\nOK\r\n"), "ATE0V1\r\r\nOK\r\n\r\nOK\r\n\r\nOK\r\nAT\r\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("ATE0"), "ATE0\r\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("ATE2"), "\r\nERROR\r\n");

    modem_->SetEchoAtPowerOn(true);
    modem_->Unplug();
    ASSERT_TRUE(modem_->Plug());
    Slave again(modem_->SlavePath());
    EXPECT_EQ(again.Ask("AT"), "AT\r\r\nOK\r\n");
}

TEST_F(ModemTest, UnknownAndGarbageInputIsAnsweredWithError) {
    EXPECT_EQ(slave_->Ask("AT+NOSUCH"), "\r\nERROR\r\n");
    EXPECT_EQ(slave_->Ask(std::string("\x00\xff\x1b[A hello", 11)), "\r\nERROR\r\n");
    EXPECT_EQ(slave_->Ask(std::string(100000, 'A')), "\r\nERROR\r\n");  // over-long line
    EXPECT_EQ(slave_->Ask("AT+CFUN=7"), "\r\n+CME ERROR: 50\r\n");
    EXPECT_EQ(slave_->Ask("AT"), "\r\nOK\r\n");
}

TEST_F(ModemTest, RadioPowerIsModelState) {
    EXPECT_EQ(slave_->Ask("AT+CFUN=0"), "\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CFUN?"), "\r\n+CFUN: 0\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CSQ"), "\r\n+CSQ: 99,99\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CFUN=4"), "\r\nOK\r\n");
    EXPECT_EQ(modem_->State().cfun, 4);
    modem_->Update([](ModelState &s) {
        s.cfun = 1;
        s.sim = SimState::kPin;
    });
    EXPECT_EQ(slave_->Ask("AT+CFUN?"), "\r\n+CFUN: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CPIN?"), "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CIMI"), "\r\n+CME ERROR: 11\r\n");
}

TEST_F(ModemTest, ScriptedAnswersOverrideDefaultsAndTheLastRuleWins) {
    modem_->On("AT+CSQ", {"+CSQ: 5,99", "OK"});
    modem_->OnPrefix("AT+COPS", {"+COPS: 0,0,\"TEST\",2", "OK"});
    EXPECT_EQ(slave_->Ask("AT+CSQ"), "\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CSQ=?"), "\r\nERROR\r\n");  // exact rules match exactly
    EXPECT_EQ(slave_->Ask("AT+COPS?"), "\r\n+COPS: 0,0,\"TEST\",2\r\n\r\nOK\r\n");

    int calls = 0;
    modem_->OnHandler("AT+CSQ", [&calls](Modem &, const std::string &command) -> Modem::Lines {
        return {command + " #" + std::to_string(++calls), "OK"};
    });
    EXPECT_EQ(slave_->Ask("AT+CSQ"), "\r\nAT+CSQ #1\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CSQ=?"), "\r\nAT+CSQ=? #2\r\n\r\nOK\r\n");

    modem_->OnHandler("AT+CGMR", [](Modem &, const std::string &) -> Modem::Lines { throw std::runtime_error("x"); });
    EXPECT_EQ(slave_->Ask("AT+CGMR"), "\r\nERROR\r\n");

    modem_->ClearOverrides();
    EXPECT_EQ(slave_->Ask("AT+CSQ"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CGMR"), "\r\n21.110.99.01.00\r\n\r\nOK\r\n");
}

TEST_F(ModemTest, UnsolicitedLinesArriveMidExchangeAndAfterAnswers) {
    modem_->Delay("AT+CSQ", 500);
    slave_->Write("AT+CSQ\r");
    ASSERT_TRUE(modem_->WaitForCommand("AT+CSQ", 2000));
    modem_->Inject("RING");
    EXPECT_EQ(slave_->ReadUntil("OK\r\n"), "\r\nRING\r\n\r\n+CSQ: 20,99\r\n\r\nOK\r\n");

    // A delayed answer never lets a later answer overtake it.
    slave_->Write("AT+CSQ\rAT\r");
    EXPECT_EQ(slave_->ReadUntil("OK\r\n\r\nOK\r\n"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n\r\nOK\r\n");

    // From a handler, Inject goes before the answer and InjectLater after it.
    modem_->OnHandler("AT^NDISDUP", [](Modem &m, const std::string &) -> Modem::Lines {
        m.InjectLater("^NDISSTAT: 1,,,\"IPV4\"", 0);
        m.Inject("^RSSI: 20");
        return {"OK"};
    });
    slave_->Write("AT^NDISDUP=1,1\r");
    EXPECT_EQ(slave_->ReadUntil("IPV4\"\r\n"), "\r\n^RSSI: 20\r\n\r\nOK\r\n\r\n^NDISSTAT: 1,,,\"IPV4\"\r\n");

    modem_->SendRaw("\r\n+CMT: ,13\r\n0891683108608805F9240D91683109\r\n");
    EXPECT_EQ(slave_->ReadUntil("3109\r\n"), "\r\n+CMT: ,13\r\n0891683108608805F9240D91683109\r\n");
}

TEST_F(ModemTest, PacedOutputGoesOutInPiecesWithGaps) {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<std::string> writes;
    modem_->SetTrace([&](char direction, const std::string &bytes) {
        if (direction != '>') return;
        std::lock_guard<std::mutex> lock(mu);
        writes.push_back(bytes);
        cv.notify_all();
    });
    // The trace runs after each write returns, so the reader may be ahead of it.
    auto traced = [&](std::size_t total) {
        std::unique_lock<std::mutex> lock(mu);
        cv.wait_for(lock, 5s, [&] {
            std::size_t n = 0;
            for (const std::string &w : writes) n += w.size();
            return n >= total;
        });
        std::vector<std::string> seen;
        seen.swap(writes);
        return seen;
    };
    const std::string answer = "\r\n+CSQ: 20,99\r\n\r\nOK\r\n";

    modem_->SetPace(2, 5);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(slave_->Ask("AT+CSQ", 5000), answer);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::vector<std::string> pieces = traced(answer.size());
    ASSERT_EQ(pieces.size(), (answer.size() + 1) / 2);
    for (const std::string &p : pieces) EXPECT_LE(p.size(), 2u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(5 * (pieces.size() - 1)));  // the gaps were kept

    // Unsolicited output is paced too; back at full speed an answer is one write again.
    modem_->Inject("RING");
    EXPECT_EQ(slave_->ReadUntil("RING\r\n"), "\r\nRING\r\n");
    EXPECT_EQ(traced(8).size(), 4u);
    modem_->SetPace(0, 0);
    EXPECT_EQ(slave_->Ask("AT+CSQ"), answer);
    EXPECT_EQ(traced(answer.size()), std::vector<std::string>{answer});
}

TEST_F(ModemTest, WithheldCommandsGetNoAnswerButTheModemGoesOn) {
    modem_->Withhold("AT+CLCC");
    modem_->Withhold("AT+CMGS=");
    EXPECT_EQ(slave_->Ask("AT+CLCC", 300), "");
    EXPECT_EQ(slave_->Ask("AT+CMGS=10", 300), "");  // not even the prompt
    EXPECT_EQ(slave_->Ask("AT"), "\r\nOK\r\n");
    EXPECT_EQ(modem_->CountCommands("AT+C"), 2u);
}

TEST_F(ModemTest, PromptCollectsThePduUpToCtrlZ) {
    slave_->Write("AT+CMGS=3\r");
    EXPECT_EQ(slave_->ReadUntil("> "), "\r\n> ");
    slave_->Write("0011\r\n00AA\x1a");  // line ends inside the PDU are not part of it
    EXPECT_EQ(slave_->ReadUntil("OK\r\n"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");

    EXPECT_EQ(slave_->Ask("AT+CMGW=3,2"), "\r\n> ");
    slave_->Write("00AABB\x1b");  // ESC cancels
    EXPECT_EQ(slave_->ReadUntil("OK\r\n"), "\r\nOK\r\n");

    modem_->Delay("AT^HCMGS=", 200);  // delays the answer after the PDU, not the prompt
    EXPECT_EQ(slave_->Ask("AT^HCMGS=2"), "\r\n> ");
    slave_->Write("ABCD\x1a");
    EXPECT_EQ(slave_->ReadUntil("OK\r\n"), "\r\n^HCMGS: 2\r\n\r\nOK\r\n");

    EXPECT_EQ(slave_->Ask("AT^HCMGW=1,0"), "\r\n> ");
    slave_->Write("not hex\x1a");
    EXPECT_EQ(slave_->ReadUntil("304\r\n"), "\r\n+CMS ERROR: 304\r\n");

    modem_->OnPdu("AT+CMGW=", [](Modem &, const std::string &command, const std::string &pdu) -> Modem::Lines {
        return {"+CMGW: " + std::to_string(command.size() + pdu.size()), "OK"};
    });
    EXPECT_EQ(slave_->Ask("AT+CMGW=1,0"), "\r\n> ");
    slave_->Write("12\x1a");
    EXPECT_EQ(slave_->ReadUntil("OK\r\n"), "\r\n+CMGW: 13\r\n\r\nOK\r\n");

    EXPECT_EQ(modem_->Pdus(), (std::vector<std::string>{"001100AA", "ABCD", "not hex", "12"}));
    EXPECT_EQ(modem_->Submissions()[1].command, "AT^HCMGS=2");
}

TEST_F(ModemTest, ExpectCommandsWantsThePrefixesInOrder) {
    slave_->Write("ATE0\rAT+CMEE=1\rAT^HS=0,0\r");
    EXPECT_TRUE(modem_->ExpectCommands({"ATE0", "AT^HS="}, 2000));
    EXPECT_FALSE(modem_->ExpectCommands({"AT^HS=", "ATE0"}, 50));
    EXPECT_FALSE(modem_->WaitForCommand("AT+CFUN", 50));
    std::thread later([this] { slave_->Write("AT+CFUN?\r"); });
    EXPECT_TRUE(modem_->WaitForCommand("AT+CFUN", 2000));
    later.join();
}

TEST_F(ModemTest, UnplugFailsTheSlaveAndPlugServesANewPty) {
    // A reader blocked on the slave must wake up with an error, as on a real unplug.
    ssize_t blocked_result = 1;
    std::thread reader([&] {
        char c;
        blocked_result = read(slave_->fd(), &c, 1);
    });
    std::this_thread::sleep_for(50ms);
    modem_->Unplug();
    reader.join();
    EXPECT_LE(blocked_result, 0);
    char c;
    EXPECT_LE(read(slave_->fd(), &c, 1), 0);
    EXPECT_FALSE(modem_->IsPlugged());
    EXPECT_EQ(modem_->SlavePath(), "");
    modem_->Inject("dropped while unplugged");

    ASSERT_TRUE(modem_->Plug());
    Slave again(modem_->SlavePath());
    EXPECT_EQ(again.Ask("AT"), "\r\nOK\r\n");

    // Unplugging from a handler takes effect when it returns.
    modem_->OnHandler("AT+CFUN=1,1", [](Modem &m, const std::string &) -> Modem::Lines {
        m.Unplug();
        return {"OK"};
    });
    again.Write("AT+CFUN=1,1\r");
    again.ReadUntil("never", 500);
    EXPECT_FALSE(modem_->IsPlugged());
    ASSERT_TRUE(modem_->Plug());
    EXPECT_EQ(Slave(modem_->SlavePath()).Ask("AT"), "\r\nOK\r\n");
}

std::size_t CountEntries(const char *dir) {
    std::size_t n = 0;
    if (DIR *d = opendir(dir)) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

TEST_F(ModemTest, PlugCyclesLeakNoDescriptorsOrThreads) {
    modem_->Unplug();
    slave_.reset();
    const std::size_t fds = CountEntries("/proc/self/fd");
    std::size_t threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 10; ++i) {  // the fewest seen: an ending thread of the set-up aside
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        threads = std::min(threads, CountEntries("/proc/self/task"));
    }
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(modem_->Plug());
        Slave s(modem_->SlavePath());
        modem_->Delay("AT+CSQ", 1000);  // leaves an answer pending at unplug time
        s.Write("AT+CSQ\r");
        ASSERT_TRUE(modem_->WaitForCommand("AT+CSQ", 2000));
        modem_->ClearCommands();
        modem_->Unplug();
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    // A joined thread can stay listed for a moment after join() returns (under qemu-user the
    // host thread ends after the guest's join is woken), on either count: a leaked one stays.
    std::size_t now = CountEntries("/proc/self/task");
    for (int i = 0; i < 200 && now > threads; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = CountEntries("/proc/self/task");
    }
    EXPECT_LE(now, threads);
}

TEST_F(ModemTest, ScriptShapesTheModem) {
    const char *script =
        "# a locked SIM and a slow network scan\n"
        "on AT+COPS=? => +COPS: (2,\"A\",\"A\",\"00101\",2) | OK\n"
        "prefix AT+CUSD= => OK\n"
        "withhold AT+CLCC\n"
        "delay 10 AT+COPS\n"
        "sim puk\n"
        "cfun 0\n"
        "inject 0 ^SRVST: 0\n";
    std::string error;
    ASSERT_TRUE(LoadScript(*modem_, script, &error)) << error;
    EXPECT_EQ(slave_->ReadUntil("^SRVST: 0\r\n"), "\r\n^SRVST: 0\r\n");
    EXPECT_EQ(slave_->Ask("AT+COPS=?"), "\r\n+COPS: (2,\"A\",\"A\",\"00101\",2)\r\n\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CUSD=1,\"*100#\",15"), "\r\nOK\r\n");
    EXPECT_EQ(slave_->Ask("AT+CPIN?"), "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n");
    EXPECT_EQ(modem_->State().cfun, 0);

    EXPECT_FALSE(LoadScript(*modem_, "on AT => OK\n\ndelay soon AT+CSQ\n", &error));
    EXPECT_EQ(error, "line 3: cannot read \"delay soon AT+CSQ\"");
    EXPECT_FALSE(LoadScript(*modem_, "sim lost\n", &error));
}

}  // namespace
}  // namespace modemsim
