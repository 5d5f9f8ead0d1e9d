// The AT channel against the simulated modem on a real pseudo-terminal: how answers are split
// between the command and the unsolicited handler, the SMS prompt, time-outs, closing, and a
// modem that sends garbage.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <telephony/ril.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <modemsim/modemsim.h>
#include <zorvik/host.h>

#include "atchannel/at_internal.h"
#include "atchannel/atchannel.h"

namespace {

using modemsim::Modem;

// Generous: the machine running the tests may be busy; nothing here waits this long when it works.
constexpr int kWaitMs = 30000;

struct Unsol {
    std::string line;
    std::optional<std::string> pdu;
};

std::mutex g_mu;
std::condition_variable g_cv;
std::vector<Unsol> g_unsol;
std::map<std::string, size_t> g_unsolCount;
std::vector<std::string> g_log;
std::function<void(const char *)> g_onUnsol;  // runs on the reader thread
std::atomic<int> g_timeoutHooks{0};
std::atomic<int> g_closedHooks{0};

void RecordUnsol(const char *line, const char *pdu) {
    std::function<void(const char *)> onUnsol;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        onUnsol = g_onUnsol;
    }
    if (onUnsol) onUnsol(line);
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_unsol.size() < 1000) g_unsol.push_back({line, pdu ? std::optional<std::string>(pdu) : std::nullopt});
    ++g_unsolCount[line];
    g_cv.notify_all();
}

void OnUnsol(std::function<void(const char *)> f) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_onUnsol = std::move(f);
}

void CaptureLog(int, const char *, const char *text, void *) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_log.emplace_back(text);
}

bool WaitUnsol(const std::string &line, size_t count = 1) {
    std::unique_lock<std::mutex> lock(g_mu);
    return g_cv.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return g_unsolCount[line] >= count; });
}

size_t UnsolCount(const std::string &line) {
    std::lock_guard<std::mutex> lock(g_mu);
    return g_unsolCount[line];
}

size_t LogCount(const std::string &text) {
    std::lock_guard<std::mutex> lock(g_mu);
    size_t n = 0;
    for (const std::string &l : g_log) n += l == text;
    return n;
}

std::vector<std::string> Intermediates(const ATResponse *r) {
    std::vector<std::string> out;
    for (const ATLine *l = r ? r->p_intermediates : nullptr; l; l = l->p_next) out.emplace_back(l->line);
    return out;
}

void SetTimeScale(const char *scale) {
    setenv("ZORVIK_TIME_SCALE", scale, 1);
    zv::ReloadHostEnvironment();
}

// The modem's port as the library opens it: read-write, not a controlling terminal, raw.
int OpenPort(const Modem &modem) {
    const int fd = open(modem.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct termios t;
    if (tcgetattr(fd, &t) != 0) {
        close(fd);
        return -1;
    }
    cfmakeraw(&t);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The host environment as it was before the test, put back after it.
struct EnvGuard {
    static std::optional<std::string> Get(const char *name) {
        const char *v = getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    }
    static void Put(const char *name, const std::optional<std::string> &v) {
        v ? setenv(name, v->c_str(), 1) : unsetenv(name);
    }
    ~EnvGuard() {
        Put("ZORVIK_LOG_FILE", logFile);
        Put("ZORVIK_TIME_SCALE", timeScale);
        zv::ReloadHostEnvironment();
    }
    std::optional<std::string> logFile = Get("ZORVIK_LOG_FILE");
    std::optional<std::string> timeScale = Get("ZORVIK_TIME_SCALE");
};

class AtChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("ZORVIK_LOG_FILE", "/dev/null", 1);
        SetTimeScale("1");
        {
            std::lock_guard<std::mutex> lock(g_mu);
            g_unsol.clear();
            g_unsolCount.clear();
            g_log.clear();
            g_onUnsol = nullptr;
        }
        g_timeoutHooks = g_closedHooks = 0;
        at_request = 0;
        zv::SetLogCapture(CaptureLog, nullptr);
        at_set_on_timeout([] { ++g_timeoutHooks; });
        at_set_on_reader_closed([] {
            ++g_closedHooks;
            at_close();
        });
        ASSERT_TRUE(modem.Plug());
        const int fd = OpenPort(modem);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(at_open(fd, RecordUnsol), 0);
    }
    void TearDown() override {
        at_close();
        at_set_on_timeout(nullptr);
        at_set_on_reader_closed(nullptr);
        zv::SetLogCapture(nullptr, nullptr);
    }
    void ExpectAlive() {
        ATResponse *raw = nullptr;
        ASSERT_EQ(at_send_command("AT", &raw), 0);
        zv::ATResponsePtr r(raw);
        EXPECT_STREQ(r->finalResponse, "OK");
    }

    EnvGuard env_;  // destroyed after the modem and the channel
    Modem modem;
};

using Lines = std::vector<std::string>;

TEST_F(AtChannelTest, EachCommandTypeTakesItsOwnLines) {
    modem.On("AT+CREG?", {"+CREG: 0,1", "+CREG: 5", "OK"});
    modem.On("AT+CGSN", {"^RSSI: 9", "351234567890123", "0", "OK"});
    modem.On("AT+CLCC", {"+CLCC: 1,0,0,0,0,\"123\",129", "RING", "+CLCC: 2,1,5,0,0,\"456\",129", "7", "OK"});
    modem.On("AT^VERSION?", {"+CREG: 1", "11.608.13.02.00", "OK"});
    // The answer is the first +CREG line; the indication that follows it before OK is not.
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command_singleline("AT+CREG?", "+CREG:", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(r->success, 1);
    EXPECT_STREQ(r->finalResponse, "OK");
    EXPECT_EQ(Intermediates(r.get()), Lines{"+CREG: 0,1"});
    EXPECT_EQ(UnsolCount("+CREG: 5"), 1u);

    // The first number is the answer; a second one is not part of it.
    ASSERT_EQ(at_send_command_numeric("AT+CGSN", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(Intermediates(r.get()), Lines{"351234567890123"});
    EXPECT_EQ(UnsolCount("^RSSI: 9"), 1u);
    EXPECT_EQ(UnsolCount("0"), 1u);

    // RING in the middle of a call list is not one of the calls.
    ASSERT_EQ(at_send_command_multiline("AT+CLCC", "+CLCC:", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(Intermediates(r.get()), (Lines{"+CLCC: 1,0,0,0,0,\"123\",129", "+CLCC: 2,1,5,0,0,\"456\",129", "7"}));
    EXPECT_EQ(UnsolCount("RING"), 1u);

    // An OEM string command takes any line that is not a known indication.
    ASSERT_EQ(at_send_command_oem_string("AT^VERSION?", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(Intermediates(r.get()), Lines{"11.608.13.02.00"});
    EXPECT_EQ(UnsolCount("+CREG: 1"), 1u);

    // A form that needs its line gets -6 and no response when only OK came.
    raw = reinterpret_cast<ATResponse *>(&raw);
    EXPECT_EQ(at_send_command_singleline("AT+CMEE=1", "+CMEE:", &raw), AT_ERR_NO_INTERMEDIATE);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(at_send_command_numeric("AT+CMEE=1", nullptr), AT_ERR_NO_INTERMEDIATE);
    EXPECT_EQ(modem.Commands(), (Lines{"AT+CREG?", "AT+CGSN", "AT+CLCC", "AT^VERSION?", "AT+CMEE=1", "AT+CMEE=1"}));
}

TEST_F(AtChannelTest, NoCarrierEndsADialButNotOtherCommands) {
    modem.OnPrefix("ATD", {"NO CARRIER"});
    modem.On("AT+CSQ", {"NO CARRIER", "+CSQ: 17,99", "OK"});
    modem.On("AT+CIMI", {"+CME ERROR: 10"});
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command("ATD123;", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(r->success, 0);
    EXPECT_STREQ(r->finalResponse, "NO CARRIER");
    EXPECT_EQ(g_at_type, 0);
    EXPECT_EQ(UnsolCount("NO CARRIER"), 0u);

    // Here it reports a call that ended; the query goes on to its own answer.
    ASSERT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(g_at_type, 1);
    EXPECT_EQ(r->success, 1);
    EXPECT_EQ(Intermediates(r.get()), Lines{"+CSQ: 17,99"});
    EXPECT_EQ(UnsolCount("NO CARRIER"), 1u);

    ASSERT_EQ(at_send_command("AT+CIMI", &raw), 0);
    zv::ATResponsePtr cme(raw);
    EXPECT_EQ(cme->success, 0);
    EXPECT_EQ(at_get_cme_error(cme.get()), 10);
    EXPECT_EQ(at_get_cme_error(r.get()), 0);  // a success has no error
    cme->finalResponse[0] = 'X';
    EXPECT_EQ(at_get_cme_error(cme.get()), -1);
}

TEST_F(AtChannelTest, SmsPromptGetsThePduOnceAndASecondPromptIsUnsolicited) {
    const std::string pdu = "0011000B916407281553F80000AA0AE8329BFD4697D9EC37";
    // The modem prompts on its own; after the PDU it sends a stray second prompt, then the answer.
    modem.OnPdu("AT+CMGS=", [](Modem &, const std::string &, const std::string &) {
        return Modem::Lines{"> ", "+CMGS: 5", "OK"};
    });
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command_sms("AT+CMGS=23", pdu.c_str(), "+CMGS:", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(r->success, 1);
    EXPECT_EQ(Intermediates(r.get()), Lines{"+CMGS: 5"});
    ASSERT_EQ(modem.Submissions().size(), 1u);
    EXPECT_EQ(modem.Submissions()[0].command, "AT+CMGS=23");
    EXPECT_EQ(modem.Pdus(), Lines{pdu});
    EXPECT_EQ(UnsolCount("> "), 1u);
    EXPECT_EQ(LogCount("AT> " + std::string(pdu.size(), '*')), 1u);

    // A prompt while no PDU is stored is just a line: nothing is written for it and the
    // exchange still completes.
    modem.Withhold("AT+CSQ");
    std::thread sender([] {
        ATResponse *r2 = nullptr;
        EXPECT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &r2), 0);
        EXPECT_EQ(Intermediates(r2), Lines{"+CSQ: 1,2"});
        at_response_free(r2);
    });
    ASSERT_TRUE(modem.WaitForCommand("AT+CSQ", kWaitMs));
    modem.SendRaw("\r\n> ");
    ASSERT_TRUE(WaitUnsol("> ", 2));
    modem.Inject("+CSQ: 1,2");
    modem.Inject("OK");
    sender.join();
    // A PDU written a second time would have run into the next command line.
    ExpectAlive();
    EXPECT_EQ(modem.Commands(), (Lines{"AT+CMGS=23", "AT+CSQ", "AT"}));
    EXPECT_EQ(modem.Pdus(), Lines{pdu});
}

TEST_F(AtChannelTest, SmsIndicationArrivesWithItsPduWhileACommandWaits) {
    modem.Withhold("AT+CSQ");
    std::thread sender([] {
        ATResponse *raw = nullptr;
        EXPECT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0);
        EXPECT_EQ(Intermediates(raw), Lines{"+CSQ: 20,99"});
        at_response_free(raw);
    });
    ASSERT_TRUE(modem.WaitForCommand("AT+CSQ", kWaitMs));
    // A few bytes at a time: the indication and its PDU reach the reader in many pieces.
    modem.SetPace(5, 1);
    modem.SendRaw("\r\n+CMT: ,23\r\n0791440000000000040B916407281553F800000\r\n");
    ASSERT_TRUE(WaitUnsol("+CMT: ,23"));
    modem.SetPace(0, 0);
    {
        std::lock_guard<std::mutex> lock(g_mu);
        ASSERT_EQ(g_unsol.size(), 1u);
        EXPECT_EQ(g_unsol[0].pdu, "0791440000000000040B916407281553F800000");
    }
    modem.Inject("+CSQ: 20,99");
    modem.Inject("OK");
    sender.join();
}

TEST_F(AtChannelTest, FirstCommandOfARequestTakesTheRequestsTimeout) {
    // At 1/100 speed 180 s is 1.8 s and 30 s is 0.3 s; the modem answers after 1 s.
    SetTimeScale("100");
    modem.On("AT+ZSLOW", {"OK"});
    modem.Delay("AT+ZSLOW", 1000);
    at_request = RIL_REQUEST_SEND_SMS;
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command("AT+ZSLOW", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(r->success, 1);
    EXPECT_EQ(at_request, 0);

    ASSERT_EQ(at_send_command("AT+ZSLOW", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(r->success, 0);
    EXPECT_EQ(r->finalResponse, nullptr);
    EXPECT_TRUE(WaitUnsol("OK"));  // the late answer belongs to nobody
    EXPECT_EQ(g_timeoutHooks, 0);
    ExpectAlive();
}

TEST_F(AtChannelTest, TimeoutChoice) {
    using zv::at::ChooseTimeoutMs;
    at_request = RIL_REQUEST_SMS_ACKNOWLEDGE;
    EXPECT_EQ(ChooseTimeoutMs("AT+CNMA=1"), 10000);
    EXPECT_EQ(ChooseTimeoutMs("AT+CNMA=1"), 30000);
    at_request = RIL_REQUEST_SET_NETWORK_SELECTION_MANUAL;
    EXPECT_EQ(ChooseTimeoutMs("at+cops=?"), 180000);  // leaves the request's allowance
    EXPECT_EQ(ChooseTimeoutMs("AT+COPS=1,2,\"46000\""), 120000);
    at_request = RIL_REQUEST_DIAL;
    EXPECT_EQ(ChooseTimeoutMs("ATD123;"), 30000);
    EXPECT_EQ(at_request, 0);
    EXPECT_EQ(ChooseTimeoutMs("AT^HCMGS=\"13800000000\""), 180000);
    EXPECT_EQ(LogCount("command is AT^HCMGS=\"***********\",timeout is 180s!"), 1u);
}

TEST_F(AtChannelTest, RepeatedSilentTimeoutsFailTheExchangeAndRunTheHook) {
    SetTimeScale("1000");  // 30 s is 30 ms
    modem.Withhold("AT+ZQUIET");
    ATResponse *raw = nullptr;
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(g_timeoutHooks, 0);
    EXPECT_EQ(at_send_command("AT+ZQUIET", &raw), AT_ERR_TIMEOUT);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->finalResponse, nullptr);
    at_response_free(raw);
    EXPECT_EQ(g_timeoutHooks, 1);
    EXPECT_EQ(LogCount("at_send_command_full_nolock err = -4"), 1u);

    // Any line from the modem shows it is alive and starts the count again.
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    modem.Inject("^RSSI: 12");
    ASSERT_TRUE(WaitUnsol("^RSSI: 12"));
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(g_timeoutHooks, 1);
    EXPECT_EQ(modem.CountCommands("AT+ZQUIET"), 6u);
}

TEST_F(AtChannelTest, ConcurrentSendersEachGetTheirOwnAnswer) {
    modem.OnHandler("AT+ZECHO=", [](Modem &, const std::string &command) {
        return Modem::Lines{"+CREG: 1", "+ZECHO: " + command.substr(9), "OK"};
    });
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([t] {
            for (int i = 0; i < 25; ++i) {
                const std::string id = std::to_string(t) + "_" + std::to_string(i);
                ATResponse *raw = nullptr;
                ASSERT_EQ(at_send_command_singleline(("AT+ZECHO=" + id).c_str(), "+ZECHO:", &raw), 0);
                EXPECT_EQ(Intermediates(raw), Lines{"+ZECHO: " + id});
                at_response_free(raw);
            }
        });
    }
    for (std::thread &s : senders) s.join();
    EXPECT_EQ(UnsolCount("+CREG: 1"), 100u);
    // One command a line: no two senders' writes ran into each other.
    EXPECT_EQ(modem.CountCommands("AT+ZECHO="), 100u);
    EXPECT_EQ(modem.Commands().size(), 100u);
}

TEST_F(AtChannelTest, ReaderThreadMayNotSend) {
    std::atomic<int> sendResult{0}, handshakeResult{0};
    OnUnsol([&](const char *line) {
        if (std::string(line) != "+ZPOKE") return;
        sendResult = at_send_command("AT", nullptr);
        handshakeResult = at_handshake();
    });
    modem.Inject("+ZPOKE");
    ASSERT_TRUE(WaitUnsol("+ZPOKE"));
    EXPECT_EQ(sendResult, AT_ERR_WRONG_THREAD);
    EXPECT_EQ(handshakeResult, AT_ERR_WRONG_THREAD);
    // Anything the reader had written would arrive before this.
    ExpectAlive();
    EXPECT_EQ(modem.Commands(), Lines{"AT"});
}

TEST_F(AtChannelTest, HandshakeAndRefusedCommandsWriteNothingStray) {
    SetTimeScale("10");  // a short settling pause, still a patient wait for the answer
    EXPECT_EQ(at_handshake(), 0);
    EXPECT_EQ(modem.Commands(), Lines{"ATE0V1"});

    // A control character would let the rest of the text run as a command of its own.
    EXPECT_EQ(at_send_command("AT+CPIN=\"1234\"\rAT+CFUN=0", nullptr), AT_ERR_GENERIC);
    EXPECT_EQ(at_send_command_sms("AT+CMGS=3", "00\x1a" "AT+CFUN=0", "+CMGS:", nullptr), AT_ERR_GENERIC);
    // No response record: nothing is written and out stays as it was.
    zv::at::g_failResponseAllocs = 10;
    ATResponse *untouched = reinterpret_cast<ATResponse *>(&untouched);
    EXPECT_EQ(at_send_command("AT+CFUN=0", &untouched), AT_ERR_GENERIC);
    EXPECT_EQ(untouched, reinterpret_cast<ATResponse *>(&untouched));
    ExpectAlive();
    EXPECT_EQ(modem.Commands(), (Lines{"ATE0V1", "AT"}));
    EXPECT_TRUE(modem.Pdus().empty());
}

TEST_F(AtChannelTest, CloseWakesTheWaitingSender) {
    modem.Withhold("AT+COPS=?");
    std::thread sender([] {
        ATResponse *raw = nullptr;
        EXPECT_EQ(at_send_command_multiline("AT+COPS=?", "+COPS:", &raw), AT_ERR_CLOSED);
        ASSERT_NE(raw, nullptr);  // with what arrived before the close
        EXPECT_EQ(Intermediates(raw), Lines{"+COPS: (2,\"A\",\"A\",\"46000\",2)"});
        EXPECT_EQ(raw->finalResponse, nullptr);
        at_response_free(raw);
    });
    ASSERT_TRUE(modem.WaitForCommand("AT+COPS=?", kWaitMs));
    // Lines are handled in order: once the marker is in, the +COPS line is in the response.
    modem.Inject("+COPS: (2,\"A\",\"A\",\"46000\",2)");
    modem.Inject("+ZMARK");
    ASSERT_TRUE(WaitUnsol("+ZMARK"));
    at_close();
    sender.join();
    EXPECT_EQ(at_send_command("AT", nullptr), AT_ERR_CLOSED);
    EXPECT_EQ(g_closedHooks, 0);
    EXPECT_EQ(modem.Commands(), Lines{"AT+COPS=?"});
}

TEST_F(AtChannelTest, LostPortRunsTheClosedHookOnce) {
    modem.Unplug();
    for (int i = 0; i < kWaitMs / 10 && g_closedHooks == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(g_closedHooks, 1);
    EXPECT_EQ(terminal_connect, 1);
    EXPECT_EQ(at_send_command("AT", nullptr), AT_ERR_CLOSED);

    // The modem back on a new port: the same channel works, and closing it is not a loss.
    ASSERT_TRUE(modem.Plug());
    const int fd = OpenPort(modem);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(at_open(fd, RecordUnsol), 0);
    ExpectAlive();
    at_close();
    EXPECT_EQ(g_closedHooks, 1);
}

TEST_F(AtChannelTest, GarbageFromTheModemLeavesTheChannelUsable) {
    // A line longer than the buffer is dropped whole, not delivered in pieces.
    modem.SendRaw(std::string(20000, 'X') + "OK\r\n\r\n+ZMARK1\r\n");
    ASSERT_TRUE(WaitUnsol("+ZMARK1"));
    EXPECT_EQ(LogCount("ERROR: Input line exceeded buffer"), 1u);
    EXPECT_EQ(UnsolCount("OK"), 0u);

    // NUL bytes, lone CR and LF, a bare prompt, and binary noise.
    static const char kMixed[] = "\r\r\n\n+CR\0EG: 2\n+CREG: 3\r\0\0\0\r\n> \r\n";
    modem.SendRaw(std::string(kMixed, sizeof kMixed - 1));
    std::mt19937 rng(7);
    std::string noise(65536, '\0');
    for (char &ch : noise) ch = static_cast<char>(rng());
    modem.SendRaw(noise + "\r\n+ZMARK2\r\n");
    ASSERT_TRUE(WaitUnsol("+ZMARK2"));
    EXPECT_EQ(UnsolCount("+CREG: 2"), 1u);
    EXPECT_EQ(UnsolCount("+CREG: 3"), 1u);
    EXPECT_EQ(UnsolCount("> "), 1u);
    EXPECT_TRUE(modem.Commands().empty());  // the channel wrote nothing back for any of it

    // An answer that trickles in a byte at a time.
    modem.SetPace(1, 1);
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(Intermediates(r.get()), Lines{"+CSQ: 20,99"});
    modem.SetPace(0, 0);

    // A flood of indications is routed one by one without growing anything.
    std::string flood;
    for (int i = 0; i < 20000; ++i) flood += "\r\n^RSSI: 5\r\n";
    modem.SendRaw(flood);
    ASSERT_TRUE(WaitUnsol("^RSSI: 5", 20000));
    ExpectAlive();
    EXPECT_EQ(modem.Commands(), (Lines{"AT+CSQ", "AT"}));
}

}  // namespace
