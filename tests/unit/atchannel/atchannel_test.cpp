// The AT channel against a scripted modem on a real pseudo-terminal: how answers are split
// between the command and the unsolicited handler, the SMS prompt, time-outs, closing, and a
// modem that sends garbage.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <zorvik/host.h>

#include "atchannel/at_internal.h"
#include "atchannel/atchannel.h"
#include "unit/atchannel/pty_peer.h"

namespace {

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
    if (g_onUnsol) g_onUnsol(line);
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_unsol.size() < 1000) g_unsol.push_back({line, pdu ? std::optional<std::string>(pdu) : std::nullopt});
    ++g_unsolCount[line];
    g_cv.notify_all();
}

void CaptureLog(int, const char *, const char *text, void *) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_log.emplace_back(text);
}

bool WaitUnsol(const std::string &line, size_t count = 1) {
    std::unique_lock<std::mutex> lock(g_mu);
    return g_cv.wait_for(lock, std::chrono::seconds(30), [&] { return g_unsolCount[line] >= count; });
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

std::vector<std::string> Lines(const ATResponse *r) {
    std::vector<std::string> out;
    for (const ATLine *l = r ? r->p_intermediates : nullptr; l; l = l->p_next) out.emplace_back(l->line);
    return out;
}

void SetTimeScale(const char *scale) {
    setenv("ZORVIK_TIME_SCALE", scale, 1);
    zv::ReloadHostEnvironment();
}

// Answers "AT" with OK and everything in the table by prefix; silent otherwise.
std::string Table(const std::string &cmd, const std::vector<std::pair<std::string, std::string>> &rows) {
    for (const auto &[prefix, reply] : rows) {
        if (cmd.compare(0, prefix.size(), prefix) == 0) return reply;
    }
    return cmd == "AT" ? "\r\nOK\r\n" : "";
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
        }
        g_onUnsol = nullptr;
        g_timeoutHooks = g_closedHooks = 0;
        at_request = 0;
        zv::SetLogCapture(CaptureLog, nullptr);
        at_set_on_timeout([] { ++g_timeoutHooks; });
        at_set_on_reader_closed([] {
            ++g_closedHooks;
            at_close();
        });
        ASSERT_EQ(at_open(peer.TakeSlave(), RecordUnsol), 0);
    }
    void TearDown() override {
        at_close();
        at_set_on_timeout(nullptr);
        at_set_on_reader_closed(nullptr);
        zv::SetLogCapture(nullptr, nullptr);
    }
    void Answer(std::vector<std::pair<std::string, std::string>> rows) {
        peer.SetAnswer([rows](const std::string &cmd) { return Table(cmd, rows); });
    }
    void ExpectAlive() {
        ATResponse *raw = nullptr;
        ASSERT_EQ(at_send_command("AT", &raw), 0);
        zv::ATResponsePtr r(raw);
        EXPECT_STREQ(r->finalResponse, "OK");
    }

    EnvGuard env_;  // destroyed after the peer and the channel
    zvtest::PtyPeer peer;
};

TEST_F(AtChannelTest, EachCommandTypeTakesItsOwnLines) {
    Answer({{"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
            {"AT+CGSN", "\r\n^RSSI: 9\r\n351234567890123\r\n\r\nOK\r\n"},
            {"AT+CLCC",
             "\r\n+CLCC: 1,0,0,0,0,\"123\",129\r\n\r\nRING\r\n\r\n"
             "+CLCC: 2,1,5,0,0,\"456\",129\r\n7\r\n\r\nOK\r\n"},
            {"AT^VERSION?", "\r\n+CREG: 1\r\n11.608.13.02.00\r\n\r\nOK\r\n"},
            {"AT+CFUN?", "\r\nOK\r\n"}});
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command_singleline("AT+CPIN?", "+CPIN:", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(r->success, 1);
    EXPECT_EQ(Lines(r.get()), std::vector<std::string>{"+CPIN: READY"});

    ASSERT_EQ(at_send_command_numeric("AT+CGSN", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(Lines(r.get()), std::vector<std::string>{"351234567890123"});
    EXPECT_EQ(UnsolCount("^RSSI: 9"), 1u);

    ASSERT_EQ(at_send_command_multiline("AT+CLCC", "+CLCC:", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(Lines(r.get()),
              (std::vector<std::string>{"+CLCC: 1,0,0,0,0,\"123\",129", "+CLCC: 2,1,5,0,0,\"456\",129", "7"}));
    EXPECT_EQ(UnsolCount("RING"), 1u);

    ASSERT_EQ(at_send_command_oem_string("AT^VERSION?", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(Lines(r.get()), std::vector<std::string>{"11.608.13.02.00"});
    EXPECT_EQ(UnsolCount("+CREG: 1"), 1u);

    // A form that needs its line gets -6 and no response when only OK came.
    raw = reinterpret_cast<ATResponse *>(&raw);
    EXPECT_EQ(at_send_command_singleline("AT+CFUN?", "+CFUN:", &raw), AT_ERR_NO_INTERMEDIATE);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(at_send_command_numeric("AT+CFUN?", nullptr), AT_ERR_NO_INTERMEDIATE);
}

TEST_F(AtChannelTest, NoCarrierEndsADialButNotOtherCommands) {
    Answer({{"ATD", "\r\nNO CARRIER\r\n"},
            {"AT+CSQ", "\r\nNO CARRIER\r\n\r\n+CSQ: 17,99\r\n\r\nOK\r\n"},
            {"AT+CMEE", "\r\n+CME ERROR: 10\r\n"}});
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command("ATD123;", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(r->success, 0);
    EXPECT_STREQ(r->finalResponse, "NO CARRIER");
    EXPECT_EQ(g_at_type, 0);
    EXPECT_EQ(UnsolCount("NO CARRIER"), 0u);

    ASSERT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0);
    r.reset(raw);
    EXPECT_EQ(r->success, 1);
    EXPECT_EQ(Lines(r.get()), std::vector<std::string>{"+CSQ: 17,99"});
    EXPECT_EQ(UnsolCount("NO CARRIER"), 1u);

    ASSERT_EQ(at_send_command("AT+CMEE", &raw), 0);
    zv::ATResponsePtr cme(raw);
    EXPECT_EQ(at_get_cme_error(cme.get()), 10);
    EXPECT_EQ(at_get_cme_error(r.get()), 0);  // a success has no error
    cme->finalResponse[0] = 'X';
    EXPECT_EQ(at_get_cme_error(cme.get()), -1);
}

TEST_F(AtChannelTest, SmsPromptGetsThePduOnceAndASecondPromptIsUnsolicited) {
    const std::string pdu = "0011000B916407281553F80000AA0AE8329BFD4697D9EC37";
    Answer({{"AT+CMGS=", "\r\n> "}, {pdu, "\r\n> \r\n+CMGS: 5\r\n\r\nOK\r\n"}});
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command_sms("AT+CMGS=23", pdu.c_str(), "+CMGS:", &raw), 0);
    zv::ATResponsePtr r(raw);
    EXPECT_EQ(r->success, 1);
    EXPECT_EQ(Lines(r.get()), std::vector<std::string>{"+CMGS: 5"});
    EXPECT_EQ(peer.Count(pdu + "\x1a"), 1u);
    EXPECT_EQ(UnsolCount("> "), 1u);
    EXPECT_EQ(LogCount("AT> " + std::string(pdu.size(), '*')), 1u);

    // A prompt while no PDU is stored is just a line; the exchange still completes.
    Answer({{"AT+CSQ", "\r\n> "}});
    std::thread sender([&] {
        ATResponse *r2 = nullptr;
        EXPECT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &r2), 0);
        EXPECT_EQ(Lines(r2), std::vector<std::string>{"+CSQ: 1,2"});
        at_response_free(r2);
    });
    ASSERT_TRUE(WaitUnsol("> ", 2));
    peer.Send("\r\n+CSQ: 1,2\r\n\r\nOK\r\n");
    sender.join();
}

TEST_F(AtChannelTest, SmsIndicationArrivesWithItsPduWhileACommandWaits) {
    std::thread sender([&] {
        ATResponse *raw = nullptr;
        EXPECT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0);
        EXPECT_EQ(Lines(raw), std::vector<std::string>{"+CSQ: 20,99"});
        at_response_free(raw);
    });
    ASSERT_TRUE(peer.WaitReceived("AT+CSQ"));
    peer.Send("\r\n+CMT: ,23\r\n07914");
    peer.Send("40000000000040B916407281553F800000\r\n");
    ASSERT_TRUE(WaitUnsol("+CMT: ,23"));
    {
        std::lock_guard<std::mutex> lock(g_mu);
        ASSERT_EQ(g_unsol.size(), 1u);
        EXPECT_EQ(g_unsol[0].pdu, "0791440000000000040B916407281553F800000");
    }
    peer.Send("\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    sender.join();
}

TEST_F(AtChannelTest, FirstCommandOfARequestTakesTheRequestsTimeout) {
    // At 1/200 speed: 180 s is 900 ms, 30 s is 150 ms; the modem answers after 400 ms.
    SetTimeScale("200");
    peer.SetAnswer([](const std::string &cmd) {
        if (cmd != "AT+ZSLOW") return std::string();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return std::string("\r\nOK\r\n");
    });
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
    ATResponse *raw = nullptr;
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(g_timeoutHooks, 0);
    EXPECT_EQ(at_send_command("AT+ZQUIET", &raw), AT_ERR_TIMEOUT);
    at_response_free(raw);
    EXPECT_EQ(g_timeoutHooks, 1);
    EXPECT_EQ(LogCount("at_send_command_full_nolock err = -4"), 1u);

    // Any line from the modem shows it is alive and starts the count again.
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    peer.Send("\r\n^RSSI: 12\r\n");
    ASSERT_TRUE(WaitUnsol("^RSSI: 12"));
    EXPECT_EQ(at_send_command("AT+ZQUIET", nullptr), 0);
    EXPECT_EQ(g_timeoutHooks, 1);
}

TEST_F(AtChannelTest, ConcurrentSendersEachGetTheirOwnAnswer) {
    peer.SetAnswer([](const std::string &cmd) {
        if (cmd.rfind("AT+ZECHO=", 0) != 0) return std::string();
        return "\r\n+CREG: 1\r\n+ZECHO: " + cmd.substr(9) + "\r\n\r\nOK\r\n";
    });
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([t] {
            for (int i = 0; i < 25; ++i) {
                const std::string id = std::to_string(t) + "_" + std::to_string(i);
                ATResponse *raw = nullptr;
                ASSERT_EQ(at_send_command_singleline(("AT+ZECHO=" + id).c_str(), "+ZECHO:", &raw), 0);
                EXPECT_EQ(Lines(raw), std::vector<std::string>{"+ZECHO: " + id});
                at_response_free(raw);
            }
        });
    }
    for (std::thread &s : senders) s.join();
    EXPECT_EQ(UnsolCount("+CREG: 1"), 100u);
}

TEST_F(AtChannelTest, ReaderThreadMayNotSend) {
    std::atomic<int> sendResult{0}, handshakeResult{0};
    g_onUnsol = [&](const char *line) {
        if (std::string(line) != "+ZPOKE") return;
        sendResult = at_send_command("AT", nullptr);
        handshakeResult = at_handshake();
    };
    peer.Send("\r\n+ZPOKE\r\n");
    ASSERT_TRUE(WaitUnsol("+ZPOKE"));
    EXPECT_EQ(sendResult, AT_ERR_WRONG_THREAD);
    EXPECT_EQ(handshakeResult, AT_ERR_WRONG_THREAD);
    EXPECT_EQ(peer.Count("AT"), 0u);
}

TEST_F(AtChannelTest, HandshakeAndRefusedCommandsWriteNothingStray) {
    SetTimeScale("1000");
    Answer({{"ATE0V1", "\r\nOK\r\n"}});
    EXPECT_EQ(at_handshake(), 0);
    EXPECT_EQ(peer.Count("ATE0V1"), 1u);

    // A control character would let the rest of the text run as a command of its own.
    EXPECT_EQ(at_send_command("AT+CPIN=\"1234\"\rAT+CFUN=0", nullptr), AT_ERR_GENERIC);
    // No response record: nothing is written and out stays as it was.
    zv::at::g_failResponseAllocs = 10;
    ATResponse *untouched = reinterpret_cast<ATResponse *>(&untouched);
    EXPECT_EQ(at_send_command("AT+CFUN=0", &untouched), AT_ERR_GENERIC);
    EXPECT_EQ(untouched, reinterpret_cast<ATResponse *>(&untouched));
    ExpectAlive();
    EXPECT_EQ(peer.Count("AT+CFUN"), 0u);
    EXPECT_EQ(peer.Count("AT+CPIN"), 0u);
}

TEST_F(AtChannelTest, CloseWakesTheWaitingSender) {
    std::thread sender([] {
        ATResponse *raw = nullptr;
        EXPECT_EQ(at_send_command_multiline("AT+COPS=?", "+COPS:", &raw), AT_ERR_CLOSED);
        ASSERT_NE(raw, nullptr);  // with what arrived before the close
        EXPECT_EQ(Lines(raw), std::vector<std::string>{"+COPS: (2,\"A\",\"A\",\"46000\",2)"});
        at_response_free(raw);
    });
    ASSERT_TRUE(peer.WaitReceived("AT+COPS=?"));
    // Lines are handled in order: once the marker is in, the +COPS line is in the response.
    peer.Send("\r\n+COPS: (2,\"A\",\"A\",\"46000\",2)\r\n\r\n+ZMARK\r\n");
    ASSERT_TRUE(WaitUnsol("+ZMARK"));
    at_close();
    sender.join();
    EXPECT_EQ(at_send_command("AT", nullptr), AT_ERR_CLOSED);
    EXPECT_EQ(g_closedHooks, 0);
}

TEST_F(AtChannelTest, LostPortRunsTheClosedHookOnce) {
    peer.Unplug();
    for (int i = 0; i < 3000 && g_closedHooks == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(g_closedHooks, 1);
    EXPECT_EQ(terminal_connect, 1);
    EXPECT_EQ(at_send_command("AT", nullptr), AT_ERR_CLOSED);

    // A new port on the same channel works, and closing it is not a loss.
    zvtest::PtyPeer second;
    second.SetAnswer([](const std::string &cmd) { return Table(cmd, {}); });
    ASSERT_EQ(at_open(second.TakeSlave(), RecordUnsol), 0);
    ExpectAlive();
    at_close();
    EXPECT_EQ(g_closedHooks, 1);
}

TEST_F(AtChannelTest, GarbageFromTheModemLeavesTheChannelUsable) {
    Answer({{"AT+CSQ", ""}});
    // A line longer than the buffer is dropped whole, not delivered in pieces.
    peer.Send(std::string(20000, 'X') + "OK\r\n\r\n+ZMARK1\r\n");
    ASSERT_TRUE(WaitUnsol("+ZMARK1"));
    EXPECT_EQ(LogCount("ERROR: Input line exceeded buffer"), 1u);
    EXPECT_EQ(UnsolCount("OK"), 0u);

    // NUL bytes, lone CR and LF, and binary noise.
    static const char kMixed[] = "\r\r\n\n+CR\0EG: 2\n+CREG: 3\r\0\0\0";
    peer.Send(std::string(kMixed, sizeof kMixed - 1));
    std::mt19937 rng(7);
    std::string noise(65536, '\0');
    for (char &ch : noise) ch = static_cast<char>(rng());
    peer.Send(noise + "\r\n+ZMARK2\r\n");
    ASSERT_TRUE(WaitUnsol("+ZMARK2"));
    EXPECT_EQ(UnsolCount("+CREG: 2"), 1u);
    EXPECT_EQ(UnsolCount("+CREG: 3"), 1u);

    // An answer that trickles in a byte at a time.
    peer.SetAnswer([this](const std::string &cmd) {
        if (cmd != "AT+CSQ") return std::string();
        for (char ch : std::string("\r\n+CSQ: 17,99\r\n\r\nOK\r\n")) {
            peer.Send(std::string(1, ch));
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        return std::string();
    });
    ATResponse *raw = nullptr;
    ASSERT_EQ(at_send_command_singleline("AT+CSQ", "+CSQ:", &raw), 0);
    EXPECT_EQ(Lines(raw), std::vector<std::string>{"+CSQ: 17,99"});
    at_response_free(raw);

    // A flood of indications is routed one by one without growing anything.
    std::string flood;
    for (int i = 0; i < 20000; ++i) flood += "\r\n^RSSI: 5\r\n";
    Answer({});
    peer.Send(flood);
    ASSERT_TRUE(WaitUnsol("^RSSI: 5", 20000));
    ExpectAlive();
}

}  // namespace
