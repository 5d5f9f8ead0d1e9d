// A modem gone mad: while the framework keeps asking, the modem sends lines that real modems
// sent, mutated ones, known prefixes with garbage fields, binary noise, overlong lines, final
// results nobody asked for and floods of reports, and answers commands with other commands'
// answers. The library must not crash, answer every request within its time-out, keep its
// memory bounded and afterwards hold a plain exchange as if nothing had happened.
// ZV_HOSTILE_LINES sets the size (scripts/reliability.sh hostile-modem runs a million).
#include <gtest/gtest.h>

#include <malloc.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/library_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Sanitized builds run several times slower, and their allocators hold freed memory back.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

size_t LineCount() {
    if (const char *env = getenv("ZV_HOSTILE_LINES")) return strtoull(env, nullptr, 10);
    return kSanitized ? 5000 : 20000;
}

long RssKb() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
    return 0;
}

// What the process has allocated and not freed (whatever the allocator keeps for reuse).
long HeapKb() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<long>((m.uordblks + m.hblkhd) / 1024);
}

// Makes the hostile lines; one per thread (the modem's handler has its own).
class Hostile {
public:
    explicit Hostile(uint32_t seed) : rng_(seed) {
        std::ifstream in(ZV_REAL_MODEM_LINES);
        for (std::string line; std::getline(in, line);) {
            if (line.empty()) continue;
            seeds_.push_back(line);
            const size_t colon = line.find(':');
            if (colon != std::string::npos && colon < 16) prefixes_.push_back(line.substr(0, colon + 1));
        }
        // The reports the library routes, whether or not a seed carries them.
        for (const char *p : {"+CREG:", "+CGREG:", "^MODE:", "^RSSI:", "^HCSQ:", "^NWTIME:", "RING", "+CRING:",
                              "^ORIG:", "^CONN:", "^CEND:", "+CLCC:", "+CCWA:", "+CMT:", "+CMTI:", "+CDS:", "+CBM:",
                              "+CUSD:", "^NDISSTAT:", "^SIMST:", "^STIN:", "+CUSATP:", "^SMMEMFULL:", "^DCONN", "^DEND"})
            prefixes_.push_back(p);
    }

    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    const std::string &Seed() { return seeds_[Pick(seeds_.size())]; }

    std::string GarbageFields() {
        std::string line = prefixes_[Pick(prefixes_.size())] + (Pick(2) ? " " : "");
        for (size_t i = 0, n = Pick(40); i < n; ++i) {
            if (i) line += ',';
            switch (Pick(7)) {
                case 0: break;  // empty
                case 1: line += std::to_string(static_cast<int64_t>(rng_())); break;
                case 2: line += "99999999999999999999999"; break;
                case 3: line += "\"" + Seed().substr(0, Pick(40)) + (Pick(4) ? "\"" : ""); break;
                case 4: line += std::string(Pick(300), "0123456789ABCDEF"[Pick(16)]); break;
                case 5: line += "(" + std::to_string(Pick(10)) + "-" + std::to_string(Pick(10)) + ")"; break;
                default: line += Noise(Pick(8), false); break;
            }
        }
        return line;
    }

    std::string Mutated() {
        std::string s = Seed();
        for (size_t i = 0, n = 1 + Pick(8); i < n && !s.empty(); ++i) {
            const size_t at = Pick(s.size());
            switch (Pick(5)) {
                case 0: s[at] = static_cast<char>(rng_()); break;
                case 1: s.insert(at, 1, static_cast<char>(rng_())); break;
                case 2: s.erase(at, 1 + Pick(8)); break;
                case 3: s.insert(at, s.substr(Pick(s.size()), Pick(64))); break;
                default: s.resize(at); break;
            }
        }
        return s;
    }

    // Any bytes: NUL, Ctrl-Z, ESC, the prompt, line ends in the middle.
    std::string Noise(size_t n, bool lineEnds = true) {
        std::string s;
        for (size_t i = 0; i < n; ++i) {
            char c = static_cast<char>(rng_());
            if (!lineEnds && (c == '\r' || c == '\n')) c = '#';
            s += c;
        }
        return s;
    }

    // A final result or another command's answer, which lands on whatever command is waiting.
    std::string WrongAnswer() {
        static const char *const kFinals[] = {"OK", "ERROR", "+CME ERROR: 10", "+CMS ERROR: 500", "NO CARRIER",
                                              "CONNECT", "BUSY", "NO ANSWER", "NO DIALTONE", "+CME ERROR: SIM busy"};
        return Pick(2) ? kFinals[Pick(sizeof kFinals / sizeof kFinals[0])] : Seed();
    }

    // One piece of the stream and how many lines it counts for.
    std::string Next(size_t *lines) {
        *lines = 1;
        std::string line;
        const size_t kind = Pick(1000);
        if (kind < 150) {
            line = Seed();
        } else if (kind < 450) {
            line = GarbageFields();
        } else if (kind < 700) {
            line = Mutated();
        } else if (kind < 800) {
            return Noise(1 + Pick(200));
        } else if (kind < 950) {
            line = WrongAnswer();
        } else if (kind < 997) {  // a flood of one report
            const std::string report = "\r\n" + (Pick(2) ? Seed() : GarbageFields()) + "\r\n";
            *lines = 20 + Pick(300);
            std::string out;
            for (size_t i = 0; i < *lines; ++i) out += report;
            return out;
        } else {  // longer than any line the library keeps
            line = prefixes_[Pick(prefixes_.size())] + std::string(8000 + Pick(40000), "0123456789,\"A"[Pick(13)]);
        }
        static const char *const kEnds[] = {"\r\n", "\r\n", "\r\n", "\r", "\n", ""};
        return "\r\n" + line + kEnds[Pick(sizeof kEnds / sizeof kEnds[0])];
    }

    // The modem's answer to a command: mostly right, sometimes mangled, another command's, or
    // finished twice (the second final lands on the next command).
    modemsim::Modem::Lines Answer(modemsim::Modem &m, const std::string &command) {
        modemsim::Modem::Lines lines;
        if (!modemsim::DefaultAnswer(m, command, &lines)) lines = {"ERROR"};
        const size_t kind = Pick(100);
        if (kind < 70) return lines;
        if (kind < 80) {
            for (size_t i = 0; i + 1 < lines.size(); ++i) lines[i] = Pick(2) ? Mutated() : GarbageFields();
        } else if (kind < 90) {
            lines = {Seed(), Pick(2) ? "OK" : "ERROR"};
        } else if (kind < 95) {
            lines.push_back(WrongAnswer());
        } else {
            lines = {WrongAnswer()};
        }
        return lines;
    }

private:
    std::mt19937 rng_;
    std::vector<std::string> seeds_, prefixes_;
};

class HostileModemTest : public zvtest::LibraryTest {};

TEST_F(HostileModemTest, SurvivesGarbageFloodsAndWrongAnswersWhileRequestsRun) {
    const uint32_t seed = getenv("ZV_HOSTILE_SEED") ? static_cast<uint32_t>(atol(getenv("ZV_HOSTILE_SEED"))) : 20261208;
    StartWithModem(modemsim::ModuleType::kWcdma);
    ASSERT_TRUE(WaitRadioState(RADIO_STATE_SIM_READY));
    modemsim::Modem &modem = rig_->modem();

    // The simulator drops output beyond a bound, so the source stays a few batches ahead of
    // what has reached the pseudo-terminal: each batch ends with a marker the trace counts.
    static const std::string kMarker = "\r\n^ZVMARK\r\n";
    struct Marks {
        std::atomic<size_t> written{0};
        std::string tail;  // only the modem's thread touches it
    };
    auto marks = std::make_shared<Marks>();  // the modem's thread may trace after this test's end
    modem.SetTrace([marks](char direction, const std::string &bytes) {
        if (direction != '>') return;
        std::string &tail = marks->tail;
        tail += bytes;
        for (size_t p = 0; (p = tail.find(kMarker, p)) != std::string::npos; p += kMarker.size()) ++marks->written;
        if (tail.size() >= kMarker.size()) tail.erase(0, tail.size() - kMarker.size() + 1);
    });
    auto handler = std::make_shared<Hostile>(seed + 1);
    modem.OnHandler("AT", [handler](modemsim::Modem &m, const std::string &c) { return handler->Answer(m, c); });

    // The framework asks all along: what its daemon sends, two at a time, each within its bound.
    std::vector<int> kinds;
    for (int r : {RIL_REQUEST_GET_IMEI, RIL_REQUEST_GET_IMEISV, RIL_REQUEST_GET_IMSI, RIL_REQUEST_BASEBAND_VERSION,
                  RIL_REQUEST_SIGNAL_STRENGTH, RIL_REQUEST_OPERATOR, RIL_REQUEST_VOICE_REGISTRATION_STATE,
                  RIL_REQUEST_DATA_REGISTRATION_STATE, RIL_REQUEST_GET_CURRENT_CALLS, RIL_REQUEST_GET_SIM_STATUS,
                  RIL_REQUEST_QUERY_NETWORK_SELECTION_MODE, RIL_REQUEST_GET_PREFERRED_NETWORK_TYPE,
                  RIL_REQUEST_DEVICE_IDENTITY, RIL_REQUEST_DATA_CALL_LIST, RIL_REQUEST_VOICE_RADIO_TECH,
                  RIL_REQUEST_GET_SMSC_ADDRESS, RIL_REQUEST_QUERY_CALL_WAITING}) {
        if (zvtest::CheckRequestSent(daemon_.generation(), r).empty()) kinds.push_back(r);
    }
    // The longest command time-out of this mix (120 s, scaled) for each of up to three
    // commands of a request, behind the other requester's.
    const long long scale = std::max(1, atoi(getenv("ZORVIK_TIME_SCALE") ? getenv("ZORVIK_TIME_SCALE") : "1"));
    const auto bound = std::chrono::milliseconds(2 * 3 * 120000 / scale + 1000);
    std::atomic<bool> stop{false};
    std::atomic<size_t> answered{0};
    std::atomic<long long> slowestMs{0};
    std::mutex faultMutex;
    std::string fault;
    auto requester = [&](uint32_t s) {
        std::mt19937 rng(s);
        int cw = 1;
        while (!stop.load()) {
            const int request = kinds[rng() % kinds.size()];
            const auto start = Clock::now();
            RIL_Token t = request == RIL_REQUEST_QUERY_CALL_WAITING ? daemon_.Request(request, &cw, sizeof cw)
                                                                    : daemon_.Request(request);
            if (!daemon_.WaitForCompletion(t, bound)) {
                std::lock_guard<std::mutex> lock(faultMutex);
                fault = "request " + std::to_string(request) + " not answered within " +
                        std::to_string(bound.count()) + " ms";
                stop = true;
                return;
            }
            const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            for (long long was = slowestMs.load(); ms > was && !slowestMs.compare_exchange_weak(was, ms);) {
            }
            ++answered;
        }
    };
    std::thread a(requester, seed + 2), b(requester, seed + 3);
    zvtest::StopAndJoin joiner{stop, a, b};

    Hostile source(seed);
    const size_t total = LineCount();
    const auto began = Clock::now();
    long warmRss = RssKb(), peakRss = warmRss, warmHeap = HeapKb();
    bool warm = false;
    size_t sent = 0, batches = 0;
    while (sent < total && !stop.load()) {
        std::string batch;
        for (size_t lines = 0; batch.size() < 16384 && sent < total; sent += lines) batch += source.Next(&lines);
        modem.SendRaw(batch + kMarker);
        ++batches;
        // A library that stops reading stops the simulator's writes too.
        const auto deadline = Clock::now() + 10s;
        while (marks->written.load() + 4 < batches) {
            ASSERT_LT(Clock::now(), deadline) << "the library stopped reading after " << sent << " lines";
            std::this_thread::sleep_for(1ms);
        }
        if (batches % 16 == 0) {
            daemon_.Compact();
            modem.ClearCommands();
            const long rss = RssKb();
            if (!warm && sent >= total / 10) warmRss = rss, warmHeap = HeapKb(), warm = true;
            peakRss = std::max(peakRss, rss);
        }
    }
    stop = true;
    a.join();
    b.join();
    {
        std::lock_guard<std::mutex> lock(faultMutex);
        ASSERT_TRUE(fault.empty()) << fault << " (after " << sent << " lines, seed " << seed << ")";
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
    daemon_.Compact();
    modem.ClearCommands();
    const long endRss = RssKb(), endHeap = HeapKb();
    printf("hostile modem: %zu lines in %lld ms, %zu requests answered (slowest %lld ms, bound %lld ms), "
           "RSS %ld kB after a tenth, %ld kB peak, %ld kB at the end, heap in use %ld kB then %ld kB (seed %u)\n",
           sent, static_cast<long long>(took), answered.load(), slowestMs.load(),
           static_cast<long long>(bound.count()), warmRss, peakRss, endRss, warmHeap, endHeap, seed);
    EXPECT_GT(answered.load(), 0u);
    EXPECT_TRUE(kSanitized || endHeap - warmHeap < 4 * 1024) << "the heap grew with the lines";
    EXPECT_TRUE(kSanitized || endRss - warmRss < 16 * 1024) << "memory grew with the lines";

    // Afterwards a plain exchange: the modem is itself again, the library too.
    modem.ClearOverrides();
    ASSERT_TRUE(daemon_.WaitUntil([&] { return marks->written.load() == batches; }, 10s));
    ASSERT_TRUE(daemon_.WaitUntil([&] { return RadioState() != RADIO_STATE_UNAVAILABLE; }, 10s));
    std::this_thread::sleep_for(200ms);  // the library's own follow-ups to the last reports
    zvtest::Completion version;
    ASSERT_TRUE(daemon_.WaitForCompletion(daemon_.Request(RIL_REQUEST_BASEBAND_VERSION), 5s, &version));
    EXPECT_EQ(version.error, RIL_E_SUCCESS);
    ASSERT_EQ(version.strings.size(), 1u);
    EXPECT_EQ(version.strings[0], modem.State().revision);
}

}  // namespace
