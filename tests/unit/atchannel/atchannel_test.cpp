// The AT channel against the simulated modem on a real pseudo-terminal: how answers are split
// between the command and the unsolicited handler, the SMS prompt, time-outs, closing, and a
// modem that sends garbage.
#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <telephony/ril.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
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
#include "core/core_internal.h"
#include "core/main_loop.h"

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
    modem.Withhold("AT");  // not a word, not even to the resynchronising probe
    ATResponse *raw = nullptr;
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    // The probe goes unanswered too: the command is not sent, and that is the second time-out.
    EXPECT_EQ(at_send_command("AT+ZQUIET", &raw), 0);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->success, 0);
    EXPECT_EQ(raw->finalResponse, nullptr);
    at_response_free(raw);
    EXPECT_EQ(g_timeoutHooks, 0);
    raw = nullptr;
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
    const Lines sent = {"AT+ZQUIET", "AT", "AT", "AT", "AT", "AT"};
    EXPECT_TRUE(modem.ExpectCommands(sent, kWaitMs));
    EXPECT_EQ(modem.Commands(), sent);
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
    // Nor any other: a backspace edits the command line (V.250 S5) before the modem runs it.
    for (const char *edited : {"AT+CPIN=\"\b\b\b\b\b\b\b\bFUN=0", "AT\t", "AT\x7f", "AT\x01"}) {
        EXPECT_EQ(at_send_command(edited, nullptr), AT_ERR_GENERIC);
    }
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

// ---- liveness

// A pseudo-terminal whose far end nobody reads: what a modem that stopped draining its input,
// or a flow control that never releases, looks like to the writer.
struct StuckPort {
    int master = -1;
    int slave = -1;
    StuckPort() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        struct termios t;
        if (slave >= 0 && tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
    }
    ~StuckPort() {
        if (master >= 0) close(master);
    }
    // Reads whatever the writer managed to send, so a writer blocked for good gets free.
    void Drain() {
        char buf[65536];
        struct pollfd p = {master, POLLIN, 0};
        while (poll(&p, 1, 50) > 0 && read(master, buf, sizeof buf) > 0) {
        }
    }
};

TEST_F(AtChannelTest, WritesToAPortThatStopsDrainingEndAsTimeouts) {
    SetTimeScale("100");  // 30 s is 0.3 s
    StuckPort port;
    ASSERT_GE(port.slave, 0);
    ASSERT_EQ(at_open(port.slave, RecordUnsol), 0);  // the channel now owns the slave

    // Far more than the terminal buffers: the write cannot finish.
    const std::string big = "AT+ZBIG=" + std::string(1 << 20, '5');
    auto first = std::async(std::launch::async, [&] {
        ATResponse *raw = nullptr;
        int err = at_send_command(big.c_str(), &raw);
        zv::ATResponsePtr r(raw);
        return std::make_pair(err, r && !r->finalResponse && r->success == 0);
    });
    // The reader keeps routing the modem's lines while the writer is stuck.
    const char kLine[] = "\r\n+CREG: 1\r\n";
    ASSERT_EQ(write(port.master, kLine, sizeof kLine - 1), static_cast<ssize_t>(sizeof kLine - 1));
    EXPECT_TRUE(WaitUnsol("+CREG: 1"));
    if (first.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        port.Drain();  // lets a writer stuck for good go, so the test can end
        ADD_FAILURE() << "the write was not bounded by the exchange's time-out";
    }
    auto [err, emptyTimeout] = first.get();
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(emptyTimeout) << "a stalled write ends like a time-out";
    EXPECT_EQ(g_timeoutHooks, 0);

    // The port stays stuck: the resynchronising probe cannot be written either, and the third
    // time-out in a row declares the port dead.
    EXPECT_EQ(at_send_command("AT+CSQ", nullptr), 0);
    EXPECT_EQ(at_send_command("AT+CSQ", nullptr), AT_ERR_TIMEOUT);
    EXPECT_EQ(g_timeoutHooks, 1);
    at_close();
}

TEST_F(AtChannelTest, LateAnswerOfATimedOutCommandDoesNotEndTheNextOne) {
    SetTimeScale("20");  // 30 s is 1.5 s, the probe's 5 s a quarter of a second
    // The modem sits on the PIN check and answers it only once the next command comes in,
    // right before that command's own answer.
    std::atomic<bool> owesAnswer{false};
    modem.OnHandler("AT", [&](Modem &m, const std::string &command) {
        Modem::Lines lines;
        if (owesAnswer.exchange(false)) lines.push_back("+CME ERROR: 16");
        Modem::Lines answer;
        if (!modemsim::DefaultAnswer(m, command, &answer)) answer = {"ERROR"};
        lines.insert(lines.end(), answer.begin(), answer.end());
        return lines;
    });
    modem.Withhold("AT+CPIN=");
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command("AT+CPIN=\"1234\"", &raw), 0);
    zv::ATResponsePtr pin(raw);
    EXPECT_EQ(pin->finalResponse, nullptr);
    owesAnswer = true;

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0) << round;
        zv::ATResponsePtr csq(raw);
        EXPECT_EQ(csq->success, 1) << round;
        EXPECT_STREQ(csq->finalResponse, "OK") << round;
        EXPECT_EQ(Intermediates(csq.get()), Lines{"+CSQ: 20,99"}) << round;
    }
    // One probe after the time-out, none once the channel is in step again.
    EXPECT_EQ(modem.Commands(), (Lines{"AT+CPIN=\"1234\"", "AT", "AT+CSQ", "AT+CSQ"}));
    EXPECT_EQ(g_timeoutHooks, 0);
}

TEST_F(AtChannelTest, UnsolicitedHandlerRunsWithoutHoldingTheChannel) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> blocked{false};
    OnUnsol([&](const char *line) {
        if (std::string(line) != "+ZSLOW") return;
        blocked = true;
        released.wait_for(std::chrono::milliseconds(kWaitMs));  // a daemon that takes its time
    });
    modem.Inject("+ZSLOW");
    modem.Inject("+CREG: 1");
    modem.Inject("+CREG: 2");
    while (!blocked) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // A sender gets the channel meanwhile: its command goes out at once.
    auto sender = std::async(std::launch::async, [] {
        ATResponse *raw = nullptr;
        int err = at_send_command_singleline("AT+CSQ", "+CSQ:", &raw);
        zv::ATResponsePtr r(raw);
        return err == 0 && Intermediates(r.get()) == Lines{"+CSQ: 20,99"};
    });
    EXPECT_TRUE(modem.WaitForCommand("AT+CSQ", 5000)) << "the command waited for the handler";
    EXPECT_TRUE(blocked);
    release.set_value();
    EXPECT_TRUE(sender.get());
    ASSERT_TRUE(WaitUnsol("+CREG: 2"));
    std::lock_guard<std::mutex> lock(g_mu);
    ASSERT_EQ(g_unsol.size(), 3u);
    EXPECT_EQ(g_unsol[0].line, "+ZSLOW");
    EXPECT_EQ(g_unsol[1].line, "+CREG: 1");
    EXPECT_EQ(g_unsol[2].line, "+CREG: 2");
}

TEST_F(AtChannelTest, HandshakeLetsARequestWaitItsTurn) {
    // Real time here: the settling pause is 250 ms, the modem takes 300 ms to answer.
    modem.Delay("ATE0V1", 300);
    auto handshake = std::async(std::launch::async, [] { return at_handshake(); });
    ASSERT_TRUE(modem.WaitForCommand("ATE0V1", kWaitMs));
    ATResponse *raw = nullptr;
    EXPECT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0) << "refused while the handshake ran";
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(Intermediates(r.get()), Lines{"+CSQ: 20,99"});
    // The handshake's settling pause does not keep the channel: the request is done before it.
    EXPECT_EQ(handshake.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_EQ(handshake.get(), 0);
    EXPECT_EQ(modem.Commands(), (Lines{"ATE0V1", "AT+CSQ"}));
}

TEST_F(AtChannelTest, OneResponseIsBoundedAndFailsPastItsBound) {
    Lines flood;
    for (int i = 0; i < 20000; ++i) flood.push_back("+CPBR: " + std::to_string(i) + ",\"5\",129,\"x\"");
    flood.push_back("OK");
    modem.On("AT+CPBR=1,20000", flood);
    ATResponse *raw = nullptr;
    EXPECT_EQ(at_send_command_multiline("AT+CPBR=1,20000", "+CPBR:", &raw), AT_ERR_GENERIC);
    zv::ATResponsePtr r(raw);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->success, 0);
    EXPECT_STREQ(r->finalResponse, "OK") << "the rest was dropped up to the final line";
    EXPECT_EQ(Intermediates(r.get()).size(), zv::at::kMaxResponseLines);
    {
        std::lock_guard<std::mutex> lock(g_mu);
        size_t overflowLogs = 0;
        for (const std::string &l : g_log) overflowLogs += l.find("AT response exceeds") != std::string::npos;
        EXPECT_EQ(overflowLogs, 1u);
    }
    // Bytes are bounded too: long lines reach the byte bound long before the line bound.
    Lines wide(200, "+CPBR: 1,\"" + std::string(4000, '7') + "\",129,\"x\"");
    wide.push_back("OK");
    modem.On("AT+CPBR=1,200", wide);
    EXPECT_EQ(at_send_command_multiline("AT+CPBR=1,200", "+CPBR:", &raw), AT_ERR_GENERIC);
    r.reset(raw);
    EXPECT_LT(Intermediates(r.get()).size(), 200u);
    ExpectAlive();
}

// ---- the hooks and the worker, as the main loop wires them

std::atomic<int> g_spareFd{-1};

TEST_F(AtChannelTest, TimeoutHookAfterAReopenLeavesTheNewChannelOpen) {
    SetTimeScale("1000");
    Modem spare;
    ASSERT_TRUE(spare.Plug());
    g_spareFd = OpenPort(spare);
    ASSERT_GE(g_spareFd, 0);
    modem.Withhold("AT");
    // By the time the hook runs, the owner has already moved on to a new port.
    at_set_on_timeout([] {
        ++g_timeoutHooks;
        at_open(g_spareFd.load(), RecordUnsol);
        ATTimeout();
    });
    for (int i = 0; i < zv::at::kSilentTimeoutsBeforeFailure - 1; ++i) EXPECT_EQ(at_send_command("AT+ZQ", nullptr), 0);
    EXPECT_EQ(at_send_command("AT+ZQ", nullptr), AT_ERR_TIMEOUT);
    EXPECT_EQ(g_timeoutHooks, 1);
    SetTimeScale("1");  // a patient wait for the answer that must come
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command("AT+CSQ", &raw), 0) << "the new channel was closed by the old time-out";
    zv::ATResponsePtr r(raw);
    EXPECT_STREQ(r->finalResponse, "OK");
    EXPECT_EQ(spare.Commands(), Lines{"AT+CSQ"});

    // Outside a hook, the time-out handler closes whatever is open.
    ATTimeout();
    EXPECT_EQ(at_send_command("AT", nullptr), AT_ERR_CLOSED);
}

std::atomic<int> g_workerWakes{0};

// A handler on the reader thread wakes the worker the way the main loop's users do: flag set
// and condition signalled under s_cmd_mutex. The worker's own command makes the modem send
// such a line before its answer, so a worker that kept s_cmd_mutex across its exchange would
// leave the reader waiting for that mutex and its own answer unread.
TEST_F(AtChannelTest, WorkerThreadDoesNotHoldItsLockAcrossAnExchange) {
    modem.On("ATH", {"+ZWAKE", "OK"});
    OnUnsol([](const char *line) {
        if (std::string(line) != "+ZWAKE" || ++g_workerWakes > 3) return;
        pthread_mutex_lock(&s_cmd_mutex);
        g_csd = 1;
        pthread_cond_signal(&s_cmd_cond);
        pthread_mutex_unlock(&s_cmd_mutex);
    });
    std::thread(zv::WorkerThreadBody, nullptr).detach();  // lives as long as the process
    // A signal without a flag set (a spurious wake-up) does nothing.
    pthread_mutex_lock(&s_cmd_mutex);
    pthread_cond_signal(&s_cmd_cond);
    pthread_mutex_unlock(&s_cmd_mutex);
    modem.Inject("+ZWAKE");
    for (int i = 0; i < 500 && modem.CountCommands("ATH") < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(modem.CountCommands("ATH"), 3u);
    EXPECT_EQ(modem.Commands().size(), 3u);
    EXPECT_EQ(LogCount("*****The AT command is TIMEOUT, You  can extend the wait time of this AT command*****"), 0u);
}

}  // namespace
