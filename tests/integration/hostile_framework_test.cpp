// The framework as an adversary: every request number 0-200 with no data, a short buffer, an
// oversized one and well-shaped records full of garbage, and every string a request takes with
// each control character, a quote and 10 KB of text. Each request is answered exactly once
// (the fake daemon flags a second or unknown completion), and nothing the modem receives carries
// a control character or an unbalanced quote: what a hostile string holds never becomes a
// command of its own. The records keep the shapes the daemon builds (its unmarshalling never
// hands over a dangling pointer); everything inside them is hostile. ZV_HOSTILE_FULL=1 tries
// every control character in every string (scripts/reliability.sh hostile-framework).
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "integration/dev_sim_fixture.h"
#include "support/daemon_rules.h"

namespace {

using modemsim::ModuleType;
using namespace std::chrono_literals;

// How a request's data is laid out.
enum class In { kNone, kInts, kStrings, kString, kRaw, kDial, kSimIo, kCallForward, kSmsWrite, kCdmaSms, kCdmaAck,
                kCdmaWrite, kBroadcastConfig, kImsSms };

struct Layout {
    int request;
    In in;
    int count;  // ints or strings
};

// The requests this library serves, by layout; any other number takes every form of data.
constexpr Layout kLayouts[] = {
    {2, In::kStrings, 2},  {3, In::kStrings, 3},   {4, In::kStrings, 2},  {5, In::kStrings, 3},
    {6, In::kStrings, 3},  {7, In::kStrings, 3},   {8, In::kStrings, 1},  {10, In::kDial, 0},
    {11, In::kStrings, 1}, {12, In::kInts, 1},     {23, In::kInts, 1},    {24, In::kString, 0},
    {25, In::kStrings, 2}, {26, In::kStrings, 2},  {27, In::kStrings, 7}, {28, In::kSimIo, 0},
    {29, In::kString, 0},  {32, In::kInts, 1},     {33, In::kCallForward, 0}, {34, In::kCallForward, 0},
    {35, In::kInts, 1},    {36, In::kInts, 2},     {37, In::kInts, 2},    {41, In::kStrings, 2},
    {42, In::kStrings, 4}, {43, In::kStrings, 5},  {44, In::kStrings, 3}, {47, In::kString, 0},
    {49, In::kString, 0},  {52, In::kInts, 1},     {53, In::kInts, 1},    {59, In::kRaw, 0},
    {60, In::kStrings, 2}, {61, In::kInts, 1},     {62, In::kInts, 1},    {63, In::kSmsWrite, 0},
    {64, In::kInts, 1},    {65, In::kInts, 1},     {68, In::kString, 0},  {69, In::kString, 0},
    {70, In::kString, 0},  {71, In::kInts, 1},     {73, In::kInts, 1},    {76, In::kInts, 1},
    {77, In::kInts, 1},    {78, In::kInts, 1},     {84, In::kString, 0},  {85, In::kStrings, 3},
    {87, In::kCdmaSms, 0}, {88, In::kCdmaAck, 0},  {90, In::kBroadcastConfig, 3}, {91, In::kInts, 1},
    {96, In::kCdmaWrite, 0}, {97, In::kInts, 1},   {101, In::kString, 0}, {113, In::kImsSms, 0},
};

Layout LayoutOf(int request) {
    for (const Layout &l : kLayouts)
        if (l.request == request) return l;
    return {request, In::kNone, 0};
}

// Builds request data and keeps it alive until the request is answered.
class Arena {
  public:
    explicit Arena(unsigned seed) : rng_(seed) {}
    char *Text(std::string s) { return texts_.emplace_back(std::move(s)).data(); }
    char *Garbage(size_t n) {
        std::string s(n, ' ');
        for (char &c : s) c = static_cast<char>(1 + rng_() % 255);  // anything but the end
        return Text(std::move(s));
    }
    int Int() { return static_cast<int>(rng_()); }
    unsigned Below(unsigned n) { return rng_() % n; }
    template <typename T>
    T *Record(const T &value) {
        std::vector<char> &b = blobs_.emplace_back(sizeof(T));
        memcpy(b.data(), &value, sizeof(T));
        return reinterpret_cast<T *>(b.data());
    }
    // Garbage bytes; the last one a zero, as the daemon's strings always end (a request whose
    // data is a string reads it up to there).
    void *Blob(size_t n) {
        std::vector<char> &b = blobs_.emplace_back(n);
        for (char &c : b) c = static_cast<char>(rng_());
        b.back() = '\0';
        return b.data();
    }

  private:
    std::mt19937 rng_;
    std::deque<std::string> texts_;
    std::deque<std::vector<char>> blobs_;
};

struct Data {
    void *data;
    size_t length;
};

// The request's data in its own layout, every string `s` (a nullptr `s`: garbage of each kind).
Data Shaped(Arena &a, const Layout &l, const char *s, int count) {
    auto str = [&] { return s ? a.Text(s) : a.Garbage(1 + a.Below(40)); };
    switch (l.in) {
        case In::kNone:
        case In::kRaw:
            return {a.Blob(64), 64};
        case In::kInts: {
            std::vector<int> ints(count);
            for (int &i : ints) i = a.Below(4) == 0 ? a.Int() : static_cast<int>(a.Below(300)) - 2;
            auto *p = static_cast<int *>(a.Blob(ints.size() * sizeof(int)));
            memcpy(p, ints.data(), ints.size() * sizeof(int));
            return {p, ints.size() * sizeof(int)};
        }
        case In::kStrings: {
            auto **p = static_cast<char **>(a.Blob(count * sizeof(char *)));
            for (int i = 0; i < count; ++i) p[i] = str();
            return {p, count * sizeof(char *)};
        }
        case In::kString:
            return {str(), sizeof(char *)};
        case In::kDial:
            return {a.Record(RIL_Dial{str(), static_cast<int>(a.Below(3)), nullptr}), sizeof(RIL_Dial)};
        case In::kSimIo:
            return {a.Record(RIL_SIM_IO_v6{static_cast<int>(a.Below(256)), static_cast<int>(a.Below(0x10000)), str(), static_cast<int>(a.Below(256)), static_cast<int>(a.Below(256)),
                                           static_cast<int>(a.Below(300)), str(), str(), str()}),
                    sizeof(RIL_SIM_IO_v6)};
        case In::kCallForward:
            return {a.Record(RIL_CallForwardInfo{static_cast<int>(a.Below(6)), static_cast<int>(a.Below(6)), static_cast<int>(a.Below(256)), static_cast<int>(a.Below(200)), str(),
                                                 static_cast<int>(a.Below(60))}),
                    sizeof(RIL_CallForwardInfo)};
        case In::kSmsWrite:
            return {a.Record(RIL_SMS_WriteArgs{static_cast<int>(a.Below(4)), str(), str()}), sizeof(RIL_SMS_WriteArgs)};
        case In::kCdmaSms:
            return {a.Blob(sizeof(RIL_CDMA_SMS_Message)), sizeof(RIL_CDMA_SMS_Message)};
        case In::kCdmaAck:
            return {a.Blob(sizeof(RIL_CDMA_SMS_Ack)), sizeof(RIL_CDMA_SMS_Ack)};
        case In::kCdmaWrite:
            return {a.Blob(sizeof(RIL_CDMA_SMS_WriteArgs)), sizeof(RIL_CDMA_SMS_WriteArgs)};
        case In::kBroadcastConfig: {
            const int n = count;
            auto **p = static_cast<RIL_GSM_BroadcastSmsConfigInfo **>(a.Blob(n * sizeof(void *)));
            for (int i = 0; i < n; ++i)
                p[i] = static_cast<RIL_GSM_BroadcastSmsConfigInfo *>(a.Blob(sizeof(RIL_GSM_BroadcastSmsConfigInfo)));
            return {p, n * sizeof(void *)};
        }
        case In::kImsSms: {
            RIL_IMS_SMS_Message ims{};
            ims.tech = static_cast<int>(a.Below(2)) ? RADIO_TECH_3GPP : RADIO_TECH_3GPP2;
            ims.retry = static_cast<unsigned char>(a.Int());
            ims.messageRef = a.Int();
            if (ims.tech == RADIO_TECH_3GPP) {
                auto **gsm = static_cast<char **>(a.Blob(2 * sizeof(char *)));
                gsm[0] = str();
                gsm[1] = str();
                ims.message.gsmMessage = gsm;
            } else {
                ims.message.cdmaMessage = static_cast<RIL_CDMA_SMS_Message *>(a.Blob(sizeof(RIL_CDMA_SMS_Message)));
            }
            return {a.Record(ims), sizeof ims};
        }
    }
    return {nullptr, 0};
}

bool TakesStrings(In in) {
    return in == In::kStrings || in == In::kString || in == In::kDial || in == In::kSimIo ||
           in == In::kCallForward || in == In::kSmsWrite || in == In::kImsSms;
}

class HostileFramework : public zvtest::DevSimTest {
  protected:
    // Every form of data for one request; returns how many were issued.
    int Batter(Arena &a, int request) {
        const Layout l = LayoutOf(request);
        std::vector<Data> forms = {{nullptr, 0}, {a.Blob(1), 1}};
        // Lists (strings, ints, configurations) are long by their count, records by what follows them.
        const bool list = l.in == In::kStrings || l.in == In::kInts || l.in == In::kBroadcastConfig;
        if (list) {
            forms.push_back(Shaped(a, l, nullptr, 64));
        } else if (l.in == In::kString) {
            forms.push_back({a.Garbage(4096), sizeof(char *)});
        } else {  // a whole record with 4 KB of garbage behind it
            const Data d = Shaped(a, l, nullptr, l.count);
            void *big = a.Blob(d.length + 4096);
            memcpy(big, d.data, d.length);
            forms.push_back({big, d.length + 4096});
        }
        for (int round = 0; round < 3; ++round) forms.push_back(Shaped(a, l, nullptr, l.count));
        if (TakesStrings(l.in)) {
            // Every control character in the long form; three of them, drawn by the seed, otherwise.
            std::vector<char> controls = {'\x7f'};
            for (char c = 1; c < 0x20; ++c) controls.push_back(c);
            if (!getenv("ZV_HOSTILE_FULL")) controls = {controls[a.Below(32)], controls[a.Below(32)], controls[a.Below(32)]};
            for (char c : controls) forms.push_back(Shaped(a, l, a.Text("12" + std::string(1, c) + "34"), l.count));
            forms.push_back(Shaped(a, l, a.Text("1\";+CFUN=0;\""), l.count));
            forms.push_back(Shaped(a, l, a.Text("\b\b\b\b\b\b\b\b\b\b\b\bFUN=0"), l.count));
            forms.push_back(Shaped(a, l, a.Text(std::string(10 * 1024, '7')), l.count));
        }
        for (const Data &d : forms) {
            zvtest::Completion c;
            EXPECT_TRUE(daemon_.WaitForCompletion(daemon_.Request(request, d.data, d.length), 20s, &c))
                << "request " << request << " with " << d.length << " bytes was not answered";
        }
        return static_cast<int>(forms.size());
    }

    void Run(ModuleType type, int ready) {
        Start(type);
        Settle(ready);
        // ZV_HOSTILE_SEED=<seed> replays a run's data (the seed is printed at the end).
        const char *fixed = getenv("ZV_HOSTILE_SEED");
        const unsigned seed = fixed ? static_cast<unsigned>(strtoul(fixed, nullptr, 10)) : std::random_device{}();
        RecordProperty("seed", std::to_string(seed));
        SCOPED_TRACE("seed " + std::to_string(seed));
        Arena arena(seed);
        std::vector<int> order;
        for (int r = 0; r <= 200; ++r)
            if (r != RIL_REQUEST_RADIO_POWER && r != RIL_REQUEST_RESET_RADIO) order.push_back(r);
        order.push_back(RIL_REQUEST_RESET_RADIO);  // last: both can take the radio away
        order.push_back(RIL_REQUEST_RADIO_POWER);
        int issued = 0;
        for (int request : order) {
            if (!zvtest::CheckRequestSent(daemon_.generation(), request).empty()) continue;
            modem().ClearCommands();
            issued += Batter(arena, request);
            // The OEM hooks hand the framework's own commands over by design; any other request
            // only ever puts a string inside an argument. "+CFUN=0" is what a planted string
            // would run; a request without strings (RADIO_POWER with a 0) may send it itself.
            const bool own = request == RIL_REQUEST_OEM_HOOK_RAW || request == RIL_REQUEST_OEM_HOOK_STRINGS;
            const bool strings = TakesStrings(LayoutOf(request).in);
            for (const std::string &command : modem().Commands()) {
                SCOPED_TRACE("request " + std::to_string(request) + " sent " + command);
                size_t quotes = 0;
                for (char ch : command) {
                    EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) << "control character";
                    quotes += ch == '"';
                }
                if (own) continue;
                EXPECT_EQ(quotes % 2, 0u) << "a quote broke out of its argument";
                if (strings) {
                    EXPECT_EQ(command.find("+CFUN=0"), std::string::npos);
                }
            }
        }
        // Still in service: the radio comes back on and a plain request gets its answer.
        int on = 1;
        Call(RIL_REQUEST_RADIO_POWER, &on, sizeof on);
        EXPECT_TRUE(WaitRadioState(ready, 30s)) << RadioState();
        EXPECT_EQ(Call(RIL_REQUEST_BASEBAND_VERSION).error, RIL_E_SUCCESS);
        printf("hostile framework: %d requests answered once each, seed %u\n", issued, seed);
    }
};

TEST_F(HostileFramework, ThreeGppModule) { Run(ModuleType::kWcdma, RADIO_STATE_SIM_READY); }
TEST_F(HostileFramework, CdmaModule) { Run(ModuleType::kCdma, RADIO_STATE_RUIM_READY); }

}  // namespace
