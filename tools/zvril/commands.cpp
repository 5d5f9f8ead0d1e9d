#include "commands.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <span>
#include <string_view>

#include "trace_html.h"
#include "words.h"

#include <modemsim/calls.h>
#include <modemsim/sms.h>

namespace zvril {

using namespace std::chrono_literals;

namespace {

// ---- small helpers shared by the commands

void Hex(std::string *out, unsigned v);  // two upper-case hex digits
bool Utf8ToUtf16(const std::string &in, std::u16string *out);

// "not available in this build" is its own exit code: the library answered without trying.
int ReportFailure(const std::string &what, const Session::Answer &a) {
    if (!a.answered) {
        Error(what + ": no answer from the library within the time-out; see the log");
        return kExitFailed;
    }
    if (a.c.error == RIL_E_REQUEST_NOT_SUPPORTED) {
        Error(what + ": not available in this build of the library (the service is not built in yet)");
        return kExitNotAvailable;
    }
    std::string hint = a.c.error == RIL_E_RADIO_NOT_AVAILABLE ? "; check the radio is on (zvril status)"
                       : a.c.error == RIL_E_PASSWORD_INCORRECT ? "; check the code"
                                                               : "; run with --trace FILE to see the AT exchange";
    Error(what + " failed: " + ErrorWords(a.c.error) + hint);
    return kExitFailed;
}

bool Ok(const Session::Answer &a) { return a.answered && a.c.error == RIL_E_SUCCESS; }
bool NotBuilt(const Session::Answer &a) { return a.answered && a.c.error == RIL_E_REQUEST_NOT_SUPPORTED; }

Session::Answer CallStrings(Session &s, int request, std::vector<const char *> strings,
                            std::chrono::milliseconds timeout = 60s) {
    return s.Call(request, strings.data(), strings.size() * sizeof(char *), timeout);
}

std::string Seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f s", s);
    return buf;
}

std::string Field(const std::vector<std::string> &v, size_t i) { return i < v.size() ? Value(v[i]) : "none"; }

// One USSD answer from the network, in words.
std::string UssdWords(const zvtest::Unsolicited &u) {
    int type = u.strings.empty() ? -1 : std::atoi(u.strings[0].c_str());
    std::string text = u.strings.size() > 1 && u.strings[1] != "(null)" ? "\"" + Printable(u.strings[1]) + "\"" : "";
    switch (type) {
        case 0: return text.empty() ? "dialogue ended" : text + " (dialogue ended)";
        case 1: return text + " (the network waits for a reply)";
        case 2: return "the network ended the dialogue" + (text.empty() ? "" : ": " + text);
        default: return "answer of type " + std::to_string(type) + (text.empty() ? "" : ": " + text);
    }
}

std::string PortWords(Session &s) {
    std::string out = "control " + Value(s.Text("SERIAL_PORT_PCUI_KEYNAME")) + ", data " +
                      Value(s.Text("SERIAL_PORT_MODEM_KEYNAME")) + ", diagnostics " +
                      Value(s.Text("SERIAL_PORT_DIAG_KEYNAME"));
    if (s.options().target == Target::kBuiltIn)
        out += " (names in the private fake root; they lead to the simulator's pseudo-terminal " +
               (s.builtInModem() ? s.builtInModem()->SlavePath() : std::string("?")) + ")";
    else if (s.options().target == Target::kRoot)
        out += " (names under " + s.options().root + ")";
    return out;
}

std::string ModuleLine(Session &s) {
    int type = s.Int("g_module_type"), sub = s.Int("g_cdma_subtype");
    std::string out = ModuleWords(type);
    if (type == 0) {
        out += sub == 1   ? ", no card: the subscription is kept in the modem's own memory"
               : sub == 0 ? ", with an R-UIM card"
                          : "";
    }
    return out;
}

std::string DataPathLine(Session &s) {
    bool ndis = s.Int("zv_ndis_or_modem") == 1;
    std::string ifname = Value(s.Text("PORT_ECM_KEYNAME"));
    return ndis ? "USB network interface " + ifname + " (the modem connects, the host configures the interface)"
                : "PPP on the data port (interface " + ifname + ")";
}

std::string PlatformLine(Session &s) {
    int v = s.Int("ANDROID_VERSION");
    std::string sdk = s.options().sdk.empty() ? "" : " (SDK level " + s.options().sdk + ")";
    return "release " + s.options().release + sdk + ", record layouts of platform " + GenerationWords(v);
}

// ---- the report rows: each reads one thing from the library and puts it in words

struct Row {
    bool shown = false;      // false: skip (request not built, or not for this module)
    bool failed = false;
    std::string text;        // words
    std::string raw;         // --verbose
    double seconds = -1;     // < 0: no timing
};

Row FromAnswer(const Session::Answer &a, const std::string &text, const std::string &raw = {}) {
    Row r;
    r.seconds = a.seconds;
    if (NotBuilt(a)) return r;
    r.shown = true;
    if (!Ok(a)) {
        r.failed = true;
        r.text = std::string("failed: ") + (a.answered ? ErrorWords(a.c.error) : "no answer");
        r.raw = a.answered ? ErrorName(a.c.error) : "NO_ANSWER";
        return r;
    }
    r.text = text;
    r.raw = raw;
    return r;
}

// ---- what the 8-13 daemon takes

// The SDK level the library was told (or follows from the release), for the rules that differ
// between 8.0 and 13.
int HalLevel(Session &s) {
    if (!s.options().sdk.empty()) return std::atoi(s.options().sdk.c_str());
    int level = SdkLevelOfRelease(s.options().release);
    return level > 0 ? level : std::atoi(s.options().release.c_str()) >= 14 ? 33 : 26;
}

std::string Bytes(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// Why the 8-13 daemon would not take this successful answer: it checks each answer's size
// or count exactly, and gives the framework INVALID_RESPONSE with an empty value instead
// (the socket daemon read older forms by their length). "" when it takes the answer.
std::string HalRefusalWhy(Session &s, int request, const Session::Answer &a) {
    if (!s.Hidl() || !Ok(a)) return "";
    const size_t n = a.c.length, count = n / sizeof(char *);
    const int level = HalLevel(s);
    switch (request) {
        case RIL_REQUEST_GET_SIM_STATUS: {
            RIL_CardStatus_v6 c;
            if (n != sizeof c || a.c.raw.size() != sizeof c)
                return "a card status record of " + Bytes(n) + ", not " + Bytes(sizeof c);
            std::memcpy(&c, a.c.raw.data(), sizeof c);
            if (level < 27) return "";  // 8.0 checks the size only
            for (int index :
                 {c.gsm_umts_subscription_app_index, c.cdma_subscription_app_index, c.ims_subscription_app_index})
                if (index >= c.num_applications)
                    return "application index " + std::to_string(index) + " with " +
                           std::to_string(c.num_applications) + " application" + (c.num_applications == 1 ? "" : "s") +
                           ", where -1 says none";
            return "";
        }
        case RIL_REQUEST_SIGNAL_STRENGTH:
            return n == kSignalV10Size ? "" : "a signal record of " + Bytes(n) + ", not " + Bytes(kSignalV10Size);
        case RIL_REQUEST_VOICE_REGISTRATION_STATE:
            return count == 15 ? "" : std::to_string(count) + " strings, not 15";
        case RIL_REQUEST_DATA_REGISTRATION_STATE:
            if (count == 6 || count == 11 || (count == 13 && level >= 29)) return "";
            return std::to_string(count) + " strings, not 6 or 11" + (level >= 29 ? " or 13" : "");
        case RIL_REQUEST_SETUP_DATA_CALL:
        case RIL_REQUEST_DATA_CALL_LIST:
            if (n % sizeof(RIL_Data_Call_Response_v11) != 0 || (n == 0 && request == RIL_REQUEST_SETUP_DATA_CALL))
                return Bytes(n) + ", not a whole number of data call records of " +
                       Bytes(sizeof(RIL_Data_Call_Response_v11));
            return "";
        case RIL_REQUEST_VOICE_RADIO_TECH:
        case RIL_REQUEST_CDMA_GET_SUBSCRIPTION_SOURCE:
            return n == sizeof(int) ? "" : Bytes(n) + ", not one int";
        default:
            return "";
    }
}

// The refusal also goes into the trace, right after the answer it concerns.
std::string HalRefusal(Session &s, int request, const Session::Answer &a) {
    std::string why = HalRefusalWhy(s, request, a);
    if (!why.empty()) s.Mark("refused", s.RequestName(request) + "\t" + std::to_string(request) + "\t" + why);
    return why;
}

// Why the 8-13 daemon would drop this report; "" when it passes it on.
std::string HalDropWhy(Session &s, const zvtest::Unsolicited &u) {
    if (!s.Hidl()) return "";
    switch (u.id) {
        case RIL_UNSOL_SIGNAL_STRENGTH:
            return u.length == kSignalV10Size
                       ? ""
                       : "a signal record of " + Bytes(u.length) + ", not " + Bytes(kSignalV10Size);
        case RIL_UNSOL_DATA_CALL_LIST_CHANGED:
            return u.length % sizeof(RIL_Data_Call_Response_v11) == 0
                       ? ""
                       : Bytes(u.length) + ", not whole data call records";
        case RIL_UNSOL_RESPONSE_NEW_SMS:
        case RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT:
            // The length counts the hex characters the daemon decodes.
            return u.length > 0 && u.length % 2 == 0
                       ? ""
                       : "a length of " + std::to_string(u.length) + ", not an even number of hex characters";
        case RIL_UNSOL_VOICE_RADIO_TECH_CHANGED:
        case RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED:
        case RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM:
            return u.length == sizeof(int) ? "" : Bytes(u.length) + ", not one int";
        default:
            return "";
    }
}

// A dropped report is marked in the trace too, right after the report.
std::string HalDrop(Session &s, const zvtest::Unsolicited &u) {
    std::string why = HalDropWhy(s, u);
    if (!why.empty()) {
        std::string name = UnsolicitedName(u.id);
        s.Mark("dropped", (name.empty() ? "UNSOL" : name) + "\t" + std::to_string(u.id) + "\t" + why);
    }
    return why;
}

// A row of an answer the 8-13 daemon would not take: failed, with what the library said.
Row Checked(Session &s, int request, const Session::Answer &a, Row r) {
    std::string why = HalRefusal(s, request, a);
    if (why.empty() || !r.shown) return r;
    r.failed = true;
    r.text = "failed: the 8-13 daemon refuses the answer (" + why + "); the library said: " + r.text;
    return r;
}

std::string Quoted(const std::vector<std::string> &v) {
    std::string out;
    for (auto &s : v) out += (out.empty() ? "\"" : " \"") + Printable(s) + "\"";
    return out;
}

bool NvSubscription(Session &s, const CardStatus &cs) {
    return s.IsCdma() && s.Int("g_cdma_subtype") == 1 && cs.appState == RIL_APPSTATE_READY;
}

CardStatus ReadCard(Session &s, const Session::Answer &a) {
    return ReadCardStatus(a.c.raw, s.Int("ANDROID_VERSION"), s.IsCdma());
}

Row SimRow(Session &s) {
    auto a = s.Call(RIL_REQUEST_GET_SIM_STATUS);
    CardStatus cs = ReadCard(s, a);
    Row r = FromAnswer(a, CardWords(cs), CardRaw(cs));
    if (Ok(a) && NvSubscription(s, cs))
        r.text = "no card needed: the subscription is in the modem's memory, reported to the phone as a "
                 "ready R-UIM so it goes on without a card";
    return Checked(s, RIL_REQUEST_GET_SIM_STATUS, a, r);
}

// The start-up's outcome. Up to 7.x the radio state carries the SIM's state; the 8-13 daemon
// knows only off, unavailable and on, and the framework reads the SIM from the card status.
std::string StartupWords(Session &s) {
    const int state = s.RadioState();
    if (!s.Hidl() || state != RADIO_STATE_ON) return RadioStateWords(state);
    auto a = s.Call(RIL_REQUEST_GET_SIM_STATUS);
    if (!Ok(a)) return std::string("radio on, card status: ") + (a.answered ? ErrorWords(a.c.error) : "no answer");
    CardStatus cs = ReadCard(s, a);
    return NvSubscription(s, cs) ? "radio on, subscription in modem memory ready" : "radio on, " + CardWords(cs);
}

Row IdentityRow(Session &s) {
    auto a = s.Call(RIL_REQUEST_DEVICE_IDENTITY);
    const auto &v = a.c.strings;
    std::string text = s.IsCdma() ? "ESN " + Field(v, 2) + ", MEID " + Field(v, 3) + ", IMEI " + Field(v, 0)
                                  : "IMEI " + Field(v, 0) + ", ESN " + Field(v, 2) + ", MEID " + Field(v, 3);
    return FromAnswer(a, text, Quoted(v));
}

Row ImsiRow(Session &s) {
    if (s.IsCdma() && s.Int("g_cdma_subtype") == 1) {
        auto a = s.Call(RIL_REQUEST_CDMA_SUBSCRIPTION);
        const auto &v = a.c.strings;
        return FromAnswer(a, "phone number " + Field(v, 0) + ", SID " + Field(v, 1) + ", NID " + Field(v, 2) +
                                 ", MIN " + Field(v, 3) + ", PRL " + Field(v, 4),
                          Quoted(v));
    }
    auto a = s.Call(RIL_REQUEST_GET_IMSI);
    return FromAnswer(a, "IMSI " + Field(a.c.strings, 0), Quoted(a.c.strings));
}

Row FirmwareRow(Session &s) {
    auto a = s.Call(RIL_REQUEST_BASEBAND_VERSION);
    std::string version = Field(a.c.strings, 0);
    size_t first = version.find_first_not_of(" \t");
    return FromAnswer(a, first == std::string::npos ? version : version.substr(first), Quoted(a.c.strings));
}

Row SignalRow(Session &s) {
    auto a = s.Call(RIL_REQUEST_SIGNAL_STRENGTH);
    std::string raw = std::to_string(a.c.raw.size()) + " bytes:";
    for (size_t i = 0; i + 4 <= a.c.raw.size(); i += 4) {
        int v;
        std::memcpy(&v, a.c.raw.data() + i, 4);
        raw += " " + std::to_string(v);
    }
    return Checked(s, RIL_REQUEST_SIGNAL_STRENGTH, a, FromAnswer(a, SignalWords(a.c.raw, s.IsCdma()), raw));
}

std::string CountedStrings(const std::vector<std::string> &v) {
    return std::to_string(v.size()) + " strings: " + Quoted(v);
}

Row RegistrationRow(Session &s) {
    auto a = s.Call(RIL_REQUEST_VOICE_REGISTRATION_STATE);
    return Checked(s, RIL_REQUEST_VOICE_REGISTRATION_STATE, a,
                   FromAnswer(a, RegistrationWords(a.c.strings), CountedStrings(a.c.strings)));
}

// Packet service: 4 or 14 strings up to 7.x, 6 or 11 (13 from 10) for the 8-13 daemon, whose
// sixth is the number of data calls the network allows at once.
Row DataRegistrationRow(Session &s) {
    auto a = s.Call(RIL_REQUEST_DATA_REGISTRATION_STATE);
    std::string text = RegistrationWords(a.c.strings, true);
    const auto &v = a.c.strings;
    if (v.size() > 5 && v.size() != 14 && std::atoi(v[5].c_str()) > 0)
        text += ", up to " + v[5] + " data call" + (v[5] == "1" ? "" : "s");
    return Checked(s, RIL_REQUEST_DATA_REGISTRATION_STATE, a, FromAnswer(a, text, CountedStrings(v)));
}

// One int answer (the 8-13 daemon takes exactly 4 bytes for it).
Row IntRow(Session &s, int request, const char *(*words)(int)) {
    auto a = s.Call(request);
    Row r = FromAnswer(a, "");
    if (!r.shown || r.failed) return r;
    int v = -1;
    if (a.c.raw.size() >= sizeof v) std::memcpy(&v, a.c.raw.data(), sizeof v);
    r.text = *words(v) ? words(v) : "unknown (" + std::to_string(v) + ")";
    r.raw = Bytes(a.c.raw.size()) + ": " + std::to_string(v);
    return Checked(s, request, a, r);
}

// Asked of the library from 8 on (the socket daemon answered them itself from the radio state).
Row VoiceTechRow(Session &s) {
    return IntRow(s, RIL_REQUEST_VOICE_RADIO_TECH, TechWords);
}
Row SubscriptionSourceRow(Session &s) {
    return IntRow(s, RIL_REQUEST_CDMA_GET_SUBSCRIPTION_SOURCE, SubscriptionSourceWords);
}

Row OperatorRow(Session &s) {
    auto a = s.Call(RIL_REQUEST_OPERATOR);
    const auto &v = a.c.strings;
    return FromAnswer(a, Field(v, 0) + " (" + Field(v, 2) + ")", Quoted(v));
}

// One USSD exchange: sends text, waits for the network's answer.
Row UssdExchange(Session &s, const char *text, std::string *answer, bool *more) {
    size_t from = s.daemon().UnsolicitedCount();
    // The USSD request's data is the string itself, not an array of strings.
    auto a = s.Call(RIL_REQUEST_SEND_USSD, const_cast<char *>(text), sizeof(char *));
    Row r = FromAnswer(a, "");
    if (!r.shown || r.failed) return r;
    zvtest::Unsolicited u;
    auto t0 = std::chrono::steady_clock::now();
    if (!s.WaitUnsolicited(RIL_UNSOL_ON_USSD, from, 30s, &u)) {
        r.failed = true;
        r.text = "failed: the network did not answer within 30 s";
        return r;
    }
    r.seconds = a.seconds + std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    *answer = UssdWords(u);
    *more = !u.strings.empty() && u.strings[0] == "1";
    r.raw = Quoted(u.strings);
    return r;
}

Row UssdRow(Session &s) {
    std::string first, second;
    bool more = false;
    Row r = UssdExchange(s, "*100#", &first, &more);
    if (!r.shown || r.failed) return r;
    r.text = "*100# -> " + first;
    if (more) {
        Row r2 = UssdExchange(s, "1", &second, &more);
        if (r2.shown) {
            r.text += "; reply 1 -> " + (r2.failed ? r2.text : second);
            r.failed = r2.failed;
            r.raw += " / " + r2.raw;
            r.seconds += r2.seconds;
        }
    }
    return r;
}

const char kDemoNumber[] = "+15550100";  // numbers reserved for fiction
const char kDemoSender[] = "+15550199";
const char kDemoIncoming[] = "Hello from the network";

// An SMS-DELIVER from kDemoSender built from the SUBMIT encoder's user data, so both
// directions share one GSM packer; no SMSC part (length 0).
std::string DemoDeliverPdu() {
    std::string submit, error;
    BuildSubmitPdu(kDemoSender, kDemoIncoming, &submit, &error);
    size_t digits = std::strlen(kDemoSender) - 1;
    size_t after = 8 + (digits + 1) / 2 * 2;  // first octet, reference, length, type, digits
    std::string oa = submit.substr(4, after - 4);
    std::string tail = submit.substr(after + 2);  // DCS, UDL, UD
    return "00" "04" + oa + "00" + tail.substr(0, 2) + "62218020510000" + tail.substr(2);
}

int HexByte(const std::string &s, size_t at) {
    if (at + 2 > s.size()) return -1;
    auto nib = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    int h = nib(s[at]), l = nib(s[at + 1]);
    return h < 0 || l < 0 ? -1 : h << 4 | l;
}

// Sender and text of an SMS-DELIVER as the library reported it (SMSC part first); false when
// the PDU is not one zvril reads (only the 7-bit alphabet's ASCII subset is shown as text).
bool ReadDeliver(const std::string &pdu, std::string *from, std::string *text) {
    int smsc = HexByte(pdu, 0);
    if (smsc < 0) return false;
    size_t at = 2 + static_cast<size_t>(smsc) * 2;
    int first = HexByte(pdu, at), len = HexByte(pdu, at + 2), type = HexByte(pdu, at + 4);
    if (first < 0 || (first & 3) != 0 || len < 0 || type < 0) return false;
    at += 6;
    from->assign(type == 0x91 ? "+" : "");
    for (int i = 0; i < len; ++i) {
        int b = HexByte(pdu, at + static_cast<size_t>(i / 2) * 2);
        if (b < 0) return false;
        int d = i % 2 ? b >> 4 : b & 15;
        if (d > 9) return false;
        from->push_back(static_cast<char>('0' + d));
    }
    at += static_cast<size_t>((len + 1) / 2) * 2;
    int dcs = HexByte(pdu, at + 2), udl = HexByte(pdu, at + 18);
    if (dcs != 0 || udl < 0) return false;
    at += 20;
    text->clear();
    unsigned acc = 0;
    int bits = 0;
    for (int n = 0; n < udl;) {
        if (bits < 7) {
            int b = HexByte(pdu, at);
            if (b < 0) return false;
            acc |= static_cast<unsigned>(b) << bits;
            bits += 8;
            at += 2;
        }
        unsigned c = acc & 0x7f;
        acc >>= 7;
        bits -= 7;
        ++n;
        text->push_back(c == 0 ? '@' : c == 2 ? '$' : c == 0x11 ? '_' : c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
    }
    return true;
}

// The PDU of a new-message report as the daemon reads it: the 8-13 daemon decodes exactly as
// many hex characters as the report's length says, the socket daemon the whole string.
std::string PduOf(Session &s, const zvtest::Unsolicited &u) {
    std::string pdu = u.strings.empty() ? "" : u.strings[0];
    if (s.Hidl() && u.length < pdu.size()) pdu.resize(u.length);
    return pdu;
}

// The network delivers a message (the built-in simulator only: on a real network nobody
// sends one on cue); the phone acknowledges it as the platform does.
Row SmsInRow(Session &s) {
    Row r;
    modemsim::Modem *m = s.builtInModem();
    if (!m) return r;
    r.shown = true;
    size_t from = s.daemon().UnsolicitedCount();
    auto t0 = std::chrono::steady_clock::now();
    modemsim::DeliverSms(*m, DemoDeliverPdu());
    zvtest::Unsolicited u;
    if (!s.WaitUnsolicited(RIL_UNSOL_RESPONSE_NEW_SMS, from, 10s, &u)) {
        r.failed = true;
        r.text = "failed: the library did not report the delivered message within 10 s";
        return r;
    }
    int ack[2] = {1, 0};
    auto a = s.Call(RIL_REQUEST_SMS_ACKNOWLEDGE, ack, sizeof ack);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::string sender, text;
    std::string pdu = PduOf(s, u);
    r.raw = "PDU " + pdu;
    if (std::string why = HalDrop(s, u); !why.empty()) {
        r.failed = true;
        r.text = "the 8-13 daemon drops the report (" + why + ")";
    } else if (!ReadDeliver(pdu, &sender, &text)) {
        r.failed = true;
        r.text = "received a message the demo cannot read (PDU of " + std::to_string(pdu.size() / 2) + " bytes)";
    } else {
        r.text = "\"" + Printable(text) + "\" from " + sender;
        r.failed = text != kDemoIncoming || sender != kDemoSender;
    }
    if (!Ok(a)) {
        r.failed = true;
        r.text += ", acknowledging it failed: " + std::string(a.answered ? ErrorWords(a.c.error) : "no answer");
    } else {
        r.text += ", acknowledged";
    }
    return r;
}

Row SmsRow(Session &s) {
    std::string pdu, error;
    BuildSubmitPdu(kDemoNumber, "Hello from zvril", &pdu, &error);
    auto a = CallStrings(s, RIL_REQUEST_SEND_SMS, {nullptr, pdu.c_str()});
    int ref = -1;
    if (a.c.raw.size() >= sizeof(int)) std::memcpy(&ref, a.c.raw.data(), sizeof ref);
    return FromAnswer(a, std::string("\"Hello from zvril\" to ") + kDemoNumber + ": sent, message reference " +
                             std::to_string(ref),
                      "PDU " + pdu);
}

Row CdmaSmsRow(Session &s) {
    RIL_CDMA_SMS_Message m;
    std::string error;
    BuildCdmaMessage(kDemoNumber, "Hello from zvril", &m, &error);
    auto a = s.Call(RIL_REQUEST_CDMA_SEND_SMS, &m, sizeof m);
    int ref = -1;
    if (a.c.raw.size() >= sizeof(int)) std::memcpy(&ref, a.c.raw.data(), sizeof ref);
    std::string hex;
    for (int i = 0; i < m.uBearerDataLen; ++i) Hex(&hex, m.aBearerData[i]);
    return FromAnswer(a, std::string("\"Hello from zvril\" to ") + kDemoNumber + ": sent, message reference " +
                             std::to_string(ref),
                      "bearer data " + hex);
}

const char *CallStateWords(int state) {
    static const char *const kWords[] = {"active", "on hold", "dialling", "ringing at the other end", "incoming", "waiting"};
    return state >= 0 && state <= 5 ? kWords[state] : "in an unknown state";
}

// The call list as the library reports it: state of the first call, or -1 when there is none.
int FirstCallState(Session &s, bool *ok) {
    auto a = s.Call(RIL_REQUEST_GET_CURRENT_CALLS);
    *ok = Ok(a);
    return a.c.calls.empty() ? -1 : a.c.calls[0].state;
}

// Waits (bounded) until the library's call list shows the first call in state want (-1: none).
bool WaitCallState(Session &s, int want, std::chrono::milliseconds limit, int *last) {
    auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        bool ok = false;
        *last = FirstCallState(s, &ok);
        if (ok && *last == want) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(200ms);
    }
}

Row CallRow(Session &s) {
    auto t0 = std::chrono::steady_clock::now();
    RIL_Dial dial{};
    dial.address = const_cast<char *>(kDemoNumber);
    auto a = s.Call(RIL_REQUEST_DIAL, &dial, sizeof dial);
    Row r = FromAnswer(a, "");
    if (!r.shown || r.failed) return r;
    std::string steps = std::string("dialled ") + kDemoNumber;
    int state = -1;
    // The built-in network's far end rings and answers; a real one is left to do so by itself.
    if (modemsim::Modem *m = s.builtInModem()) {
        auto calls = modemsim::CurrentCalls(*m);
        if (!calls.empty()) {
            int id = calls[0].id;
            modemsim::RemoteAlerting(*m, id);
            if (WaitCallState(s, RIL_CALL_ALERTING, 5s, &state)) steps += ", it rang";
            modemsim::RemoteAnswer(*m, id);
        }
    }
    bool active = WaitCallState(s, RIL_CALL_ACTIVE, 20s, &state);
    steps += active ? ", answered" : std::string(", still ") + CallStateWords(state);
    if (active) std::this_thread::sleep_for(1s);
    auto h = s.Call(RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND);
    bool gone = Ok(h) && WaitCallState(s, -1, 10s, &state);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.failed = !active || !gone;
    r.text = steps + (gone ? (active ? ", talked 1 s, hung up" : ", hung up")
                           : std::string(", hang-up failed: ") + (!h.answered ? "no answer" : !Ok(h) ? ErrorWords(h.c.error) : "the call is still listed"));
    return r;
}

// One data call record as the library reported it, whatever the platform's record layout.
struct DataCall {
    int status = 0;  // the failure cause; 0 for a call that is up (or a record without one)
    int cid = -1, active = -1;
    std::string ifname, addresses, dnses, gateways;
};

DataCall ReadDataCall(size_t length, const std::vector<int> &ints, const std::vector<std::string> &strings) {
    DataCall d;
    auto str = [&](size_t i) { return i < strings.size() && strings[i] != "(null)" ? strings[i] : std::string(); };
    if ((length == sizeof(RIL_Data_Call_Response_v11) || length == sizeof(RIL_Data_Call_Response_v6)) &&
        ints.size() >= 4) {
        d.status = ints[0], d.cid = ints[2], d.active = ints[3];
        d.ifname = str(1), d.addresses = str(2), d.dnses = str(3), d.gateways = str(4);
    } else if (length == sizeof(RIL_Data_Call_Response_v5) && ints.size() >= 3) {
        d.status = ints[0], d.cid = ints[1], d.active = ints[2];
        d.ifname = str(1), d.addresses = str(2), d.dnses = str(3);
    } else if (length == sizeof(RIL_Data_Call_Response_v4) && ints.size() >= 2) {
        d.cid = ints[0], d.active = ints[1];
        d.addresses = str(2);
    } else if (!strings.empty()) {
        // The oldest setup answer: cid, interface, address, DNS servers, gateway.
        d.cid = std::atoi(strings[0].c_str());
        d.active = 2;
        d.ifname = str(1), d.addresses = str(2), d.dnses = str(3), d.gateways = str(4);
    }
    return d;
}

// What the kernel says about the interface: its IPv4 address and whether it is up, and the
// default route through it.
struct Interface {
    bool exists = false, up = false;
    std::string address;  // "a.b.c.d/prefix", empty when none
    std::string gateway;  // of the default route through it, empty when none
};

Interface ReadInterface(const std::string &ifname) {
    Interface k;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs *a = list; a; a = a->ifa_next) {
            if (!a->ifa_name || ifname != a->ifa_name) continue;
            k.exists = true;
            k.up = k.up || (a->ifa_flags & IFF_UP);
            if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && k.address.empty()) {
                char ip[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(a->ifa_addr)->sin_addr, ip, sizeof ip);
                int prefix = 0;
                if (a->ifa_netmask)
                    prefix = __builtin_popcount(reinterpret_cast<sockaddr_in *>(a->ifa_netmask)->sin_addr.s_addr);
                k.address = std::string(ip) + "/" + std::to_string(prefix);
            }
        }
        freeifaddrs(list);
    }
    // The routing table of this process's network namespace; addresses in memory order.
    if (FILE *f = std::fopen("/proc/net/route", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            char name[64];
            unsigned dest, gw, flags;
            if (std::sscanf(line, "%63s %X %X %X", name, &dest, &gw, &flags) != 4) continue;
            if (ifname != name || dest != 0 || (flags & 3u) != 3u) continue;
            in_addr a;
            a.s_addr = gw;
            char ip[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &a, ip, sizeof ip);
            k.gateway = ip;
            break;
        }
        std::fclose(f);
    }
    return k;
}

std::string WithoutPrefix(const std::string &address) { return address.substr(0, address.find('/')); }

// "usb0 has 192.168.225.37/24 (DHCP), default route via 192.168.225.1, DNS 192.168.225.1
// 192.168.225.2", checked against the kernel; false (with the difference in words) when the
// kernel does not show what the library reported.
bool UpWords(Session &s, const DataCall &d, std::string *text) {
    const std::string ifname = d.ifname.empty() ? s.Text("PORT_ECM_KEYNAME") : d.ifname;
    Interface k = ReadInterface(ifname);
    const char *how = s.Int("zv_ndis_or_modem") != 1  ? "negotiated by pppd"
                      : s.Int("zv_arp_support") == 1 ? "from the network's DHCP server"
                                                      : "the modem's own addresses";
    std::string dns = d.dnses.empty() ? "none" : d.dnses;
    if (!k.exists) {
        *text = "the library reported interface " + Value(ifname) + ", which this host does not have";
        return false;
    }
    if (!k.up || k.address.empty() || WithoutPrefix(k.address) != WithoutPrefix(d.addresses)) {
        *text = ifname + " is " + (k.up ? "up" : "down") + " with address " + (k.address.empty() ? "none" : k.address) +
                ", but the library reported " + Value(d.addresses);
        return false;
    }
    *text = ifname + " has " + k.address + " (" + how + "), default route " +
            (k.gateway.empty() ? "none" : "via " + k.gateway) + ", DNS " + dns;
    return !k.gateway.empty();
}

// After a data call ended: what is left of it on the interface.
bool DownWords(const std::string &ifname, std::string *text) {
    Interface k = ReadInterface(ifname);
    bool clean = k.gateway.empty() && !k.up;
    *text = std::string(k.gateway.empty() ? "route removed" : "the default route via " + k.gateway + " is still there") +
            ", " + ifname + (k.up ? " still up" : " down");
    return clean;
}

Session::Answer SetupDataCall(Session &s, const std::string &apn, const std::string &user, const std::string &password) {
    // Radio technology 0 is CDMA, 1 GSM/UMTS; authentication 0 none, 3 PAP or CHAP.
    return CallStrings(s, RIL_REQUEST_SETUP_DATA_CALL,
                       {s.IsCdma() ? "0" : "1", "0", apn.c_str(), user.c_str(), password.c_str(),
                        user.empty() ? "0" : "3", "IP"},
                       90s);
}

Session::Answer DeactivateDataCall(Session &s, int cid) {
    std::string text = std::to_string(cid);
    return CallStrings(s, RIL_REQUEST_DEACTIVATE_DATA_CALL, {text.c_str(), "0"}, 60s);
}

Row DataRow(Session &s) {
    Row r;
    r.shown = true;
    if (s.options().target == Target::kBuiltIn && !s.options().networkLab) {
        r.text = "skipped: " + s.options().noLabWhy;
        return r;
    }
    if (geteuid() != 0) {
        r.text = "skipped: configuring the network interface and route needs root (run the demo as root)";
        return r;
    }
    // The USB network interface must exist before the modem's connection can be configured
    // on it.
    std::string ecm = s.Text("PORT_ECM_KEYNAME");
    if (s.Int("zv_ndis_or_modem") == 1 && (ecm.empty() || if_nametoindex(ecm.c_str()) == 0)) {
        r.text = "skipped: there is no network interface " + Value(ecm) + " on this host";
        return r;
    }
    auto a = SetupDataCall(s, "internet", "", "");
    if (NotBuilt(a)) {
        r.text = "skipped: this build of the library has no data call over this data path";
        return r;
    }
    r = FromAnswer(a, "");
    if (r.failed) return r;
    DataCall d = ReadDataCall(a.c.length, a.c.ints, a.c.strings);
    r.raw = Quoted(a.c.strings);
    if (std::string why = HalRefusal(s, RIL_REQUEST_SETUP_DATA_CALL, a); !why.empty()) {
        r.failed = true;
        r.text = "APN internet: the 8-13 daemon refuses the answer (" + why + ")";
        // The call may be up all the same; it is not left behind.
        if (d.cid > 0) DeactivateDataCall(s, d.cid);
        return r;
    }
    // From 8 on a refused call is a successful answer whose record carries the cause.
    if (d.status != 0) {
        r.failed = true;
        r.text = "APN internet: not set up: " + DataCauseWords(d.status);
        return r;
    }
    std::string up, down;
    bool upOk = UpWords(s, d, &up);
    auto dn = DeactivateDataCall(s, d.cid);
    bool downOk = Ok(dn) && DownWords(d.ifname.empty() ? ecm : d.ifname, &down);
    if (!Ok(dn)) down = std::string("taking it down failed: ") + (dn.answered ? ErrorWords(dn.c.error) : "no answer");
    // Two lines, each with its own time: up (and what the kernel shows), then down.
    r.seconds = dn.seconds;
    r.text = "APN internet, call " + std::to_string(d.cid) + " up: " + up + "  [" + Seconds(a.seconds) + "]\n  " +
             std::string("data call end ") + " call " + std::to_string(d.cid) + " down: " + down;
    r.failed = !upOk || !downOk;
    return r;
}

Row ModuleRow(Session &s) {
    Row r;
    r.shown = true;
    r.text = ModuleLine(s);
    char raw[96];
    std::snprintf(raw, sizeof raw, "g_module_type %d, g_cdma_subtype 0x%x", s.Int("g_module_type"),
                  static_cast<unsigned>(s.Int("g_cdma_subtype")));
    r.raw = raw;
    return r;
}

Row ChipRow(Session &s) {
    Row r;
    int p = s.Int("g_provider");
    r.shown = true;
    r.text = p > 0 ? std::to_string(p) : "not reported by the modem";
    r.raw = "g_provider " + std::to_string(p);
    return r;
}

Row PortsRow(Session &s) {
    Row r;
    r.shown = true;
    r.text = PortWords(s);
    return r;
}

Row DataPathRow(Session &s) {
    Row r;
    r.shown = true;
    r.text = DataPathLine(s);
    r.raw = "zv_ndis_or_modem " + std::to_string(s.Int("zv_ndis_or_modem")) + ", zv_arp_support " +
            std::to_string(s.Int("zv_arp_support"));
    return r;
}

Row PlatformRow(Session &s) {
    Row r;
    r.shown = true;
    r.text = PlatformLine(s);
    r.raw = "ANDROID_VERSION " + std::to_string(s.Int("ANDROID_VERSION"));
    return r;
}

Row GenerationRow(Session &s) {
    Row r;
    r.shown = true;
    r.text = DaemonWords(s.Generation());
    r.raw = "PLATFORM_GENERATION " + std::to_string(s.Generation());
    return r;
}

bool Always(Session &) { return true; }
bool ThreeGpp(Session &s) { return !s.IsCdma(); }
bool Cdma(Session &s) { return s.IsCdma(); }
bool Hidl(Session &s) {
    return s.Hidl();
}
bool HidlCdma(Session &s) {
    return s.Hidl() && s.IsCdma();
}

struct ReportRow {
    const char *label;
    bool (*applies)(Session &);
    Row (*read)(Session &);
};

// The demo, one row per step. A row whose request the library answers "not supported" is left
// out, so a service switches its row on by landing. `status` is the demo's reading part, the rows
// up to the operator: nothing is sent to the network.
const ReportRow kDemoRows[] = {
    {"module", Always, ModuleRow},
    {"chip platform", Always, ChipRow},
    {"ports", Always, PortsRow},
    {"data path", Always, DataPathRow},
    {"platform", Always, PlatformRow},
    {"generation", Always, GenerationRow},
    {"SIM", Always, SimRow},
    {"identities", Always, IdentityRow},
    {"subscription", Always, ImsiRow},
    {"firmware", Always, FirmwareRow},
    {"signal", Always, SignalRow},
    {"registration", Always, RegistrationRow},
    {"data service", Always, DataRegistrationRow},
    {"voice tech", Hidl, VoiceTechRow},
    {"CDMA source", HidlCdma, SubscriptionSourceRow},
    {"operator", Always, OperatorRow},
    {"USSD", ThreeGpp, UssdRow},
    {"SMS sent", ThreeGpp, SmsRow},
    {"SMS sent", Cdma, CdmaSmsRow},
    {"SMS received", ThreeGpp, SmsInRow},
    {"call", Always, CallRow},
    {"data call", Always, DataRow},
};


int RunReport(Session &s, std::span<const ReportRow> rows, bool timings) {
    const bool verbose = s.options().verbose;
    int failed = 0;
    auto line = [&](const char *label, const std::string &text, double seconds) {
        if (timings && seconds >= 0)
            std::printf("  %-14s %s  [%s]\n", label, text.c_str(), Seconds(seconds).c_str());
        else
            std::printf("  %-14s %s\n", label, text.c_str());
    };
    line("start-up", StartupWords(s), timings ? s.StartupSeconds() : -1);
    if (verbose) std::printf("  %-14s   radio state %d %s\n", "", s.RadioState(), RadioStateName(s.RadioState()));
    std::fflush(stdout);
    for (const auto &row : rows) {
        if (!row.applies(s)) continue;
        Row r = row.read(s);
        if (!r.shown) {
            if (verbose) std::printf("  %-14s   (left out: not built into this library yet)\n", row.label);
            continue;
        }
        failed += r.failed;
        line(row.label, r.text, r.seconds);
        if (verbose && !r.raw.empty()) std::printf("  %-14s   %s\n", "", r.raw.c_str());
        std::fflush(stdout);
    }
    return failed ? kExitFailed : kExitOk;
}

int RunDemo(Session &s, const Args &) {
    if (int code = s.Start()) return code;
    if (s.options().target == Target::kBuiltIn)
        std::printf("The library, run as the radio daemon runs it, against a simulated %s modem:\n",
                    s.options().module.c_str());
    else
        std::printf("The library, run as the radio daemon runs it, against the simulator under %s:\n",
                    s.options().root.c_str());
    return RunReport(s, kDemoRows, true);
}

int RunStatus(Session &s, const Args &) {
    if (int code = s.Start()) return code;
    // Up to and with the operator row.
    auto reading = std::span<const ReportRow>(kDemoRows);
    for (size_t i = 0; i < reading.size(); ++i)
        if (std::string_view(reading[i].label) == "operator") reading = reading.first(i + 1);
    return RunReport(s, reading, false);
}

int RunSmsSend(Session &s, const Args &args) {
    std::string pdu, error;
    RIL_CDMA_SMS_Message cdma;
    // Both forms are checked before the library starts: the module decides which one is sent.
    if (!BuildSubmitPdu(args[0], args[1], &pdu, &error) || !BuildCdmaMessage(args[0], args[1], &cdma, &error)) {
        Error("sms send: " + error);
        return kExitUsage;
    }
    if (int code = s.Start()) return code;
    if (s.IsCdma()) {
        auto a = s.Call(RIL_REQUEST_CDMA_SEND_SMS, &cdma, sizeof cdma);
        if (!Ok(a)) return ReportFailure("sms send", a);
        int ref = -1;
        if (a.c.raw.size() >= sizeof(int)) std::memcpy(&ref, a.c.raw.data(), sizeof ref);
        std::printf("sent to %s, message reference %d\n", args[0].c_str(), ref);
        if (s.options().verbose) {
            std::string hex;
            for (int i = 0; i < cdma.uBearerDataLen; ++i) Hex(&hex, cdma.aBearerData[i]);
            std::printf("bearer data %s\n", hex.c_str());
        }
        return kExitOk;
    }
    auto a = CallStrings(s, RIL_REQUEST_SEND_SMS, {nullptr, pdu.c_str()});
    if (!Ok(a)) return ReportFailure("sms send", a);
    int ref = -1;
    if (a.c.raw.size() >= sizeof(int)) std::memcpy(&ref, a.c.raw.data(), sizeof ref);
    std::printf("sent to %s, message reference %d\n", args[0].c_str(), ref);
    if (s.options().verbose) std::printf("PDU %s\n", pdu.c_str());
    return kExitOk;
}

int RunUssd(Session &s, const Args &args) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (!IsDialString(args[i], true)) {
            Error("ussd: \"" + Printable(args[i]) + "\" is not a USSD code; use digits, * and # (for example *100#)");
            return kExitUsage;
        }
    }
    if (int code = s.Start()) return code;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string answer;
        bool more = false;
        Row r = UssdExchange(s, args[i].c_str(), &answer, &more);
        if (!r.shown) {
            Error("ussd: not available in this build of the library (the service is not built in yet)");
            return kExitNotAvailable;
        }
        if (r.failed) {
            Error("ussd " + args[i] + " " + r.text + "; run with --trace FILE to see the AT exchange");
            return kExitFailed;
        }
        std::printf("%s -> %s\n", args[i].c_str(), answer.c_str());
        if (s.options().verbose) std::printf("  %s\n", r.raw.c_str());
        if (!more) break;
        if (i + 1 == args.size()) std::printf("(give the reply as another argument: zvril ussd %s REPLY)\n", args[0].c_str());
    }
    return kExitOk;
}

int RunDial(Session &s, const Args &args) {
    if (!IsDialString(args[0], true)) {
        Error("dial: \"" + Printable(args[0]) + "\" is not a phone number; use digits, +, * and #");
        return kExitUsage;
    }
    if (int code = s.Start()) return code;
    RIL_Dial dial{};
    dial.address = const_cast<char *>(args[0].c_str());
    auto a = s.Call(RIL_REQUEST_DIAL, &dial, sizeof dial);
    if (!Ok(a)) return ReportFailure("dial", a);
    std::printf("dialling %s (end it with: zvril hangup)\n", args[0].c_str());
    return kExitOk;
}

int RunHangup(Session &s, const Args &args) {
    int index = 0;
    if (!args.empty()) {
        char *end = nullptr;
        long v = std::strtol(args[0].c_str(), &end, 10);
        if (!end || *end || v < 1 || v > 7) {
            Error("hangup: the call index must be a number from 1 to 7, got \"" + Printable(args[0]) + "\"");
            return kExitUsage;
        }
        index = static_cast<int>(v);
    }
    if (int code = s.Start()) return code;
    Session::Answer a = index ? s.Call(RIL_REQUEST_HANGUP, &index, sizeof index)
                              : s.Call(RIL_REQUEST_HANGUP_FOREGROUND_RESUME_BACKGROUND);
    if (!Ok(a)) return ReportFailure("hangup", a);
    std::printf("hung up\n");
    return kExitOk;
}

int RunScan(Session &s, const Args &) {
    if (int code = s.Start()) return code;
    // The scan takes minutes on a real network: the request runs on its own thread while this
    // one shows that it is still going.
    std::atomic<bool> done{false};
    Session::Answer a;
    std::thread worker([&] {
        a = s.Call(RIL_REQUEST_QUERY_AVAILABLE_NETWORKS, nullptr, 0, 300s);
        done.store(true);
    });
    const bool tty = isatty(STDERR_FILENO);
    auto t0 = std::chrono::steady_clock::now();
    static const char kSpin[] = "|/-\\";
    int tick = 0;
    while (!done.load()) {
        std::this_thread::sleep_for(100ms);
        int secs = static_cast<int>(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (tty) {
            std::fprintf(stderr, "\rscanning for networks %c %d s", kSpin[tick++ % 4], secs);
        } else if (tick++ % 100 == 99) {
            std::fprintf(stderr, "scanning for networks: %d s\n", secs);
        }
    }
    worker.join();
    if (tty) std::fprintf(stderr, "\r%40s\r", "");
    if (!Ok(a)) return ReportFailure("scan", a);
    const auto &v = a.c.strings;
    if (v.size() < 4) std::printf("no networks found\n");
    for (size_t i = 0; i + 3 < v.size(); i += 4)
        std::printf("%-24s %-8s %s\n", Value(v[i]).c_str(), Value(v[i + 2]).c_str(), Value(v[i + 3]).c_str());
    return kExitOk;
}

int RunPin(Session &s, const Args &args) {
    if (args.empty()) {
    if (int code = s.Start()) return code;
        Row r = SimRow(s);
        if (r.failed) {
            Error("pin: reading the card status " + r.text);
            return kExitFailed;
        }
        std::printf("%s\n", r.text.c_str());
        return kExitOk;
    }
    auto digits = [](const std::string &c) {
        return c.size() >= 4 && c.size() <= 8 && c.find_first_not_of("0123456789") == std::string::npos;
    };
    Session::Answer a;
    if (args[0] == "--puk") {
        if (args.size() != 3 || !digits(args[1]) || !digits(args[2])) {
            Error("pin --puk needs the PUK and a new PIN, each of 4 to 8 digits: zvril pin --puk PUK NEWPIN");
            return kExitUsage;
        }
        if (int code = s.Start()) return code;
        a = CallStrings(s, RIL_REQUEST_ENTER_SIM_PUK, {args[1].c_str(), args[2].c_str()});
    } else {
        if (args.size() != 1 || !digits(args[0])) {
            Error("pin needs a PIN of 4 to 8 digits: zvril pin PIN");
            return kExitUsage;
        }
        if (int code = s.Start()) return code;
        a = CallStrings(s, RIL_REQUEST_ENTER_SIM_PIN, {args[0].c_str()});
    }
    int left = a.c.ints.empty() ? -1 : a.c.ints[0];
    std::string attempts = left >= 0 ? std::to_string(left) + " attempts left" : "attempts left unknown";
    if (!Ok(a)) {
        if (a.answered && a.c.error == RIL_E_PASSWORD_INCORRECT) {
            Error("pin: wrong code, " + attempts + "; check the code before trying again");
            return kExitFailed;
        }
        return ReportFailure("pin", a);
    }
    std::printf("code accepted (%s)\n", attempts.c_str());
    return kExitOk;
}

int RunAt(Session &s, const Args &args) {
    const std::string &command = args[0];
    if (command.find_first_of("\r\n\x1a\x1b") != std::string::npos) {
        Error("at: the command must be one line without control characters");
        return kExitUsage;
    }
    if (int code = s.Start()) return code;
    auto a = CallStrings(s, RIL_REQUEST_OEM_HOOK_STRINGS, {command.c_str()});
    if (!Ok(a)) return ReportFailure("at " + command, a);
    for (auto &line : a.c.strings) std::printf("%s\n", Printable(line).c_str());
    return kExitOk;
}

std::atomic<bool> g_stop{false};
void OnStopSignal(int) { g_stop.store(true); }

std::string CallerWords(const zvtest::CallRecord &c) {
    if (c.numberPresentation == 1) return "a withheld number";
    if (c.numberPresentation == 2 || !c.hasNumber || c.number.empty()) return "an unknown number";
    return Printable(c.number);
}

// The library's call list in words, read when it says the calls changed (the event itself
// carries nothing).
std::string CallListWords(Session &s) {
    auto a = s.Call(RIL_REQUEST_GET_CURRENT_CALLS, nullptr, 0, 10s);
    if (!Ok(a)) return std::string("changed (reading them failed: ") + (a.answered ? ErrorWords(a.c.error) : "no answer") + ")";
    if (a.c.calls.empty()) return "none";
    std::string out;
    for (const auto &c : a.c.calls) {
        std::string index = std::to_string(c.index);
        std::string one = c.state == RIL_CALL_INCOMING  ? "incoming call " + index + " from " + CallerWords(c) + ", ringing"
                          : c.state == RIL_CALL_WAITING ? "waiting call " + index + " from " + CallerWords(c)
                                                        : "call " + index + (c.isMT ? " from " : " to ") + CallerWords(c) +
                                                              " " + CallStateWords(c.state);
        out += (out.empty() ? "" : "; ") + one;
    }
    return out;
}

// A ring names the caller when the call list shows the call that rings.
std::string RingWords(Session &s) {
    auto a = s.Call(RIL_REQUEST_GET_CURRENT_CALLS, nullptr, 0, 10s);
    if (Ok(a)) {
        for (const auto &c : a.c.calls)
            if (c.state == RIL_CALL_INCOMING || c.state == RIL_CALL_WAITING)
                return std::string(c.state == RIL_CALL_WAITING ? "call waiting" : "incoming call") + " from " +
                       CallerWords(c) + ": ringing (call " + std::to_string(c.index) + ")";
    }
    return "incoming call: ringing";
}

// The card status in words, read when the library says it changed (the event carries nothing).
std::string CardNowWords(Session &s) {
    auto a = s.Call(RIL_REQUEST_GET_SIM_STATUS, nullptr, 0, 10s);
    if (!Ok(a))
        return std::string("changed (reading the card status failed: ") +
               (a.answered ? ErrorWords(a.c.error) : "no answer") + ")";
    CardStatus cs = ReadCard(s, a);
    return NvSubscription(s, cs) ? "subscription in modem memory ready" : CardWords(cs);
}

// A report of one int (the 8-13 daemon takes exactly 4 bytes).
std::string IntWords(const zvtest::Unsolicited &u, const char *(*words)(int)) {
    int v;
    if (u.raw.size() != sizeof v) return "a report of " + std::to_string(u.length) + " bytes instead of one int";
    std::memcpy(&v, u.raw.data(), sizeof v);
    return *words(v) ? words(v) : "unknown (" + std::to_string(v) + ")";
}

std::string UnsolicitedWords(Session &s, const zvtest::Unsolicited &u) {
    switch (u.id) {
        case RIL_UNSOL_RESPONSE_RADIO_STATE_CHANGED: return std::string("radio: ") + RadioStateWords(s.RadioState());
        case RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED: return "calls: " + CallListWords(s);
        case RIL_UNSOL_CALL_RING: return RingWords(s);
        case RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED: return "network registration changed";
        case RIL_UNSOL_SIGNAL_STRENGTH: return "signal: " + SignalWords(u.raw, s.IsCdma());
        case RIL_UNSOL_ON_USSD: return "USSD from the network: " + UssdWords(u);
        case RIL_UNSOL_RESPONSE_NEW_SMS:
            return "new SMS (PDU of " + std::to_string(PduOf(s, u).size() / 2) + " bytes)";
        case RIL_UNSOL_RESPONSE_NEW_SMS_STATUS_REPORT:
            return "SMS status report (PDU of " + std::to_string(PduOf(s, u).size() / 2) + " bytes)";
        case RIL_UNSOL_RESPONSE_NEW_SMS_ON_SIM:
            return "new SMS stored on the SIM at index " + std::to_string(u.ints.empty() ? -1 : u.ints[0]);
        case RIL_UNSOL_RESPONSE_SIM_STATUS_CHANGED:
            return "SIM: " + CardNowWords(s);
        case RIL_UNSOL_NITZ_TIME_RECEIVED: return "network time: " + (u.strings.empty() ? "" : Printable(u.strings[0]));
        case RIL_UNSOL_DATA_CALL_LIST_CHANGED: return "data calls changed";
        case RIL_UNSOL_STK_PROACTIVE_COMMAND: return "SIM toolkit command";
        case RIL_UNSOL_RESPONSE_IMS_NETWORK_STATE_CHANGED: return "IMS registration changed";
        case RIL_UNSOL_VOICE_RADIO_TECH_CHANGED:
            return "voice radio technology: " + IntWords(u, TechWords);
        case RIL_UNSOL_CDMA_SUBSCRIPTION_SOURCE_CHANGED:
            return "CDMA subscription source: " + IntWords(u, SubscriptionSourceWords);
        case RIL_UNSOL_RESPONSE_CDMA_NEW_SMS: return "new CDMA SMS";
        case RIL_UNSOL_CDMA_CALL_WAITING: return "call waiting (CDMA)";
        default: {
            std::string name = UnsolicitedName(u.id);
            return (name.empty() ? "event " + std::to_string(u.id) : name) +
                   (u.strings.empty() ? "" : " " + Quoted(u.strings));
        }
    }
}

int RunWatch(Session &s, const Args &args) {
    double limit = 0;
    if (!args.empty()) {
        char *end = nullptr;
        limit = std::strtod(args[0].c_str(), &end);
        if (!end || *end || limit <= 0) {
            Error("watch: the time limit must be a number of seconds, got \"" + Printable(args[0]) + "\"");
            return kExitUsage;
        }
    }
    if (int code = s.Start()) return code;
    signal(SIGINT, OnStopSignal);
    signal(SIGTERM, OnStopSignal);
    std::printf("watching the modem's events (%s)\n", limit > 0 ? ("for " + args[0] + " s").c_str() : "Ctrl-C ends");
    std::fflush(stdout);
    size_t from = s.daemon().UnsolicitedCount();
    auto t0 = std::chrono::steady_clock::now();
    std::string lastCalls;  // a change report that changes nothing in the list is not repeated
    while (!g_stop.load()) {
        for (const auto &u : s.daemon().UnsolicitedSince(from)) {
            ++from;
            std::string words = UnsolicitedWords(s, u);
            if (std::string why = HalDrop(s, u); !why.empty())
                words += " [the 8-13 daemon drops this report: " + why + "]";
            if (u.id == RIL_UNSOL_RESPONSE_CALL_STATE_CHANGED) {
                if (words == lastCalls) continue;
                lastCalls = words;
            }
            std::time_t now = std::time(nullptr);
            char stamp[16];
            std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
            std::printf("%s  %s\n", stamp, words.c_str());
        }
        std::fflush(stdout);
        if (limit > 0 && std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() >= limit) break;
        std::this_thread::sleep_for(100ms);
    }
    return kExitOk;
}

// data up holds the call in the foreground: the library's configuration of the interface
// lives in this process (its state machine, the addresses it read), so the call ends with
// Ctrl-C, SIGTERM or --for, and zvril takes it down before it ends.
int RunDataUp(Session &s, const Args &all) {
    Args args;
    double holdSeconds = -1;  // < 0: until Ctrl-C
    std::string holdText;
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] != "--for") {
            args.push_back(all[i]);
            continue;
        }
        char *end = nullptr;
        const char *v = i + 1 < all.size() ? all[i + 1].c_str() : "";
        holdSeconds = std::strtod(v, &end);
        if (!*v || !end || *end || holdSeconds < 0 || holdSeconds > 86400) {
            Error(std::string("data up: --for needs a number of seconds from 0 to 86400, got \"") + Printable(v) + "\"");
            return kExitUsage;
        }
        holdText = v;
        ++i;
    }
    if (args.empty() || args.size() == 2 || args.size() > 3) {
        Error("data up takes APN [USER PASSWORD] [--for SECONDS]; see zvril data up --help");
        return kExitUsage;
    }
    const std::string &apn = args[0];
    for (char c : apn) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_')) {
            Error("data up: \"" + Printable(apn) + "\" is not an APN; use letters, digits, '.', '-' and '_'");
            return kExitUsage;
        }
    }
    if (apn.empty() || apn.size() > 63) {
        Error("data up: an APN has 1 to 63 characters");
        return kExitUsage;
    }
    std::string user = args.size() > 1 ? args[1] : "", password = args.size() > 2 ? args[2] : "";
    if (s.options().target == Target::kBuiltIn && !s.options().networkLab) {
        Error("data up: the built-in simulator's data call cannot be made here: " + s.options().noLabWhy);
        return kExitSetup;
    }
    if (int code = s.Start()) return code;
    // Installed before the setup: a Ctrl-C while the call comes up ends it as soon as it is up.
    signal(SIGINT, OnStopSignal);
    signal(SIGTERM, OnStopSignal);
    auto a = SetupDataCall(s, apn, user, password);
    if (!Ok(a) && geteuid() != 0 && a.answered && a.c.error != RIL_E_REQUEST_NOT_SUPPORTED) {
        Error(std::string("data up failed: ") + ErrorWords(a.c.error) +
              "; configuring the network interface needs root: run zvril as root");
        return kExitFailed;
    }
    const std::string ecm = s.Text("PORT_ECM_KEYNAME");
    if (!Ok(a) && a.answered && a.c.error != RIL_E_REQUEST_NOT_SUPPORTED && s.Int("zv_ndis_or_modem") == 1 &&
        (ecm.empty() || if_nametoindex(ecm.c_str()) == 0)) {
        Error(std::string("data up failed: ") + ErrorWords(a.c.error) + "; this host has no network interface " +
              Value(ecm) + " for the library to configure (a whole data call on a simulator: the built-in one, as root)");
        return kExitFailed;
    }
    if (!Ok(a)) return ReportFailure("data up", a);
    DataCall d = ReadDataCall(a.c.length, a.c.ints, a.c.strings);
    if (std::string why = HalRefusal(s, RIL_REQUEST_SETUP_DATA_CALL, a); !why.empty()) {
        if (d.cid > 0) DeactivateDataCall(s, d.cid);
        Error("data up failed: the 8-13 daemon refuses the library's answer (" + why + "); see the log " + s.logPath());
        return kExitFailed;
    }
    if (d.status != 0) {
        Error("data up failed: the data call was not set up: " + DataCauseWords(d.status) +
              "; check the APN and the subscription");
        return kExitFailed;
    }
    std::string up;
    bool upOk = UpWords(s, d, &up);
    std::printf("data call %d up on APN %s in %s: %s\n", d.cid, apn.c_str(), Seconds(a.seconds).c_str(), up.c_str());
    if (s.options().verbose) std::printf("  %s\n", Quoted(a.c.strings).c_str());
    if (holdSeconds != 0)
        std::printf("holding it %s\n",
                    holdSeconds > 0 ? ("for " + holdText + " s (Ctrl-C ends it sooner)").c_str() : "until Ctrl-C");
    std::fflush(stdout);

    // Held until the time is up or a signal comes; the network may end it first.
    size_t from = s.daemon().UnsolicitedCount();
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(holdSeconds < 0 ? 1e9 : holdSeconds);
    bool dropped = false;
    while (!g_stop.load() && std::chrono::steady_clock::now() < until && !dropped) {
        for (const auto &u : s.daemon().UnsolicitedSince(from)) {
            ++from;
            if (u.id != RIL_UNSOL_DATA_CALL_LIST_CHANGED) continue;
            auto list = s.Call(RIL_REQUEST_DATA_CALL_LIST);
            DataCall now = ReadDataCall(list.c.length, list.c.ints, list.c.strings);
            // An empty list (no record at all, as the 8-13 daemon wants it) means no call either.
            dropped = Ok(list) && (list.c.length == 0 || (now.cid == d.cid && now.active == 0));
        }
        std::this_thread::sleep_for(100ms);
    }
    if (dropped) {
        std::string down;
        DownWords(d.ifname, &down);
        Error("data call " + std::to_string(d.cid) + " was ended by the network (" + down +
              "); bring it up again with zvril data up " + apn);
        return kExitFailed;
    }
    auto dn = DeactivateDataCall(s, d.cid);
    if (!Ok(dn)) return ReportFailure("data down", dn);
    std::string down;
    bool downOk = d.ifname.empty() || DownWords(d.ifname, &down);
    std::printf("data call %d down in %s%s\n", d.cid, Seconds(dn.seconds).c_str(), down.empty() ? "" : (": " + down).c_str());
    if (!upOk || !downOk) {
        Error("data up: the interface did not look as the library reported (" + (upOk ? down : up) +
              "); see the log " + s.logPath());
        return kExitFailed;
    }
    return kExitOk;
}

// A separate run cannot see the interface configuration another zvril holds; it tells the
// modem to disconnect the call (a call zvril left behind when it was killed, or that another
// program set up on the modem).
int RunDataDown(Session &s, const Args &args) {
    std::string cid = args.empty() ? "1" : args[0];
    if (cid.empty() || cid.size() > 2 || cid.find_first_not_of("0123456789") != std::string::npos) {
        Error("data down: the call number must be a number, got \"" + Printable(cid) + "\"");
        return kExitUsage;
    }
    if (s.options().target == Target::kBuiltIn) {
        std::printf("no data call to take down: the built-in simulator starts without one on every run "
                    "(the call of zvril data up ends with Ctrl-C or --for)\n");
        return kExitOk;
    }
    if (int code = s.Start()) return code;
    auto a = DeactivateDataCall(s, std::atoi(cid.c_str()));
    if (!Ok(a)) return ReportFailure("data down", a);
    std::printf("data call %s down\n", cid.c_str());
    return kExitOk;
}

// ---- SMS-SUBMIT (TS 23.040), enough for one message to one number

// GSM default alphabet code of c, or -1: outside the small ASCII subset that maps one to one
// (and the three characters that move), UCS-2 is used instead.
int Gsm7(unsigned char c) {
    if (c == '@') return 0x00;
    if (c == '$') return 0x02;
    if (c == '_') return 0x11;
    if (c == ' ' || c == '!' || c == '"' || c == '#' || (c >= '%' && c <= '?') || (c >= 'A' && c <= 'Z') ||
        (c >= 'a' && c <= 'z') || c == '\n' || c == '\r')
        return c;
    return -1;
}

bool Utf8ToUtf16(const std::string &in, std::u16string *out) {
    for (size_t i = 0; i < in.size();) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) cp = c, extra = 0;
        else if ((c & 0xe0) == 0xc0) cp = c & 0x1f, extra = 1;
        else if ((c & 0xf0) == 0xe0) cp = c & 0x0f, extra = 2;
        else if ((c & 0xf8) == 0xf0) cp = c & 0x07, extra = 3;
        else return false;
        if (extra && i + extra >= in.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(in[i + k]);
            if ((d & 0xc0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3f);
        }
        i += extra + 1;
        if (cp >= 0x110000 || (cp >= 0xd800 && cp < 0xe000)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xd800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
    }
    return true;
}

void Hex(std::string *out, unsigned v) {
    static const char kDigits[] = "0123456789ABCDEF";
    out->push_back(kDigits[(v >> 4) & 15]);
    out->push_back(kDigits[v & 15]);
}

}  // namespace

bool IsDialString(const std::string &s, bool allowStarHash) {
    if (s.empty() || s.size() > 40) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c >= '0' && c <= '9') continue;
        if (c == '+' && i == 0) continue;
        if (allowStarHash && (c == '*' || c == '#')) continue;
        return false;
    }
    return true;
}

bool BuildSubmitPdu(const std::string &number, const std::string &text, std::string *hex, std::string *error) {
    if (!IsDialString(number, false) || number.size() > 21 || (number[0] == '+' && number.size() < 2)) {
        *error = "\"" + Printable(number) + "\" is not a phone number; use digits with an optional leading +";
        return false;
    }
    std::string digits = number[0] == '+' ? number.substr(1) : number;
    std::string pdu;
    Hex(&pdu, 0x01);  // SMS-SUBMIT, no validity period
    Hex(&pdu, 0x00);  // message reference: the modem sets it
    Hex(&pdu, static_cast<unsigned>(digits.size()));
    Hex(&pdu, number[0] == '+' ? 0x91 : 0x81);
    for (size_t i = 0; i < digits.size(); i += 2) {
        pdu.push_back(i + 1 < digits.size() ? digits[i + 1] : 'F');
        pdu.push_back(digits[i]);
    }
    Hex(&pdu, 0x00);  // protocol identifier
    bool gsm = true;
    for (unsigned char c : text) gsm = gsm && Gsm7(c) >= 0;
    if (gsm) {
        if (text.size() > 160) {
            *error = "the text has " + std::to_string(text.size()) + " characters; one message holds at most 160";
            return false;
        }
        Hex(&pdu, 0x00);
        Hex(&pdu, static_cast<unsigned>(text.size()));
        unsigned acc = 0;
        int bits = 0;
        for (unsigned char c : text) {
            acc |= static_cast<unsigned>(Gsm7(c)) << bits;
            bits += 7;
            while (bits >= 8) {
                Hex(&pdu, acc & 0xff);
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits > 0) Hex(&pdu, acc & 0xff);
    } else {
        std::u16string units;
        if (!Utf8ToUtf16(text, &units)) {
            *error = "the text is not valid UTF-8";
            return false;
        }
        if (units.size() > 70) {
            *error = "the text has " + std::to_string(units.size()) +
                     " characters outside the GSM alphabet; one such message holds at most 70";
            return false;
        }
        Hex(&pdu, 0x08);
        Hex(&pdu, static_cast<unsigned>(units.size() * 2));
        for (char16_t u : units) {
            Hex(&pdu, u >> 8);
            Hex(&pdu, u & 0xff);
        }
    }
    *hex = pdu;
    return true;
}

namespace {

// Bits into bytes, most significant first (the bearer data's subparameters, 3GPP2 C.S0015).
struct Bits {
    std::vector<unsigned char> bytes;
    int used = 0;  // bits in the last byte
    void Put(int n, unsigned v) {
        for (int i = n - 1; i >= 0; --i) {
            if (used == 0) bytes.push_back(0);
            if ((v >> i) & 1u) bytes.back() |= static_cast<unsigned char>(0x80u >> used);
            used = (used + 1) % 8;
        }
    }
};

}  // namespace

bool BuildCdmaMessage(const std::string &number, const std::string &text, RIL_CDMA_SMS_Message *m, std::string *error) {
    if (!IsDialString(number, true) || number.size() > 21 || (number[0] == '+' && number.size() < 2)) {
        *error = "\"" + Printable(number) + "\" is not a phone number; use digits with an optional leading +";
        return false;
    }
    std::memset(m, 0, sizeof *m);
    m->uTeleserviceID = 4098;  // wireless messaging (text)
    RIL_CDMA_SMS_Address &a = m->sAddress;
    if (number[0] == '+') {
        // An international number needs the 8-bit (ASCII) digit mode with its type and plan.
        a.digit_mode = RIL_CDMA_SMS_DIGIT_MODE_8_BIT;
        a.number_mode = RIL_CDMA_SMS_NUMBER_MODE_NOT_DATA_NETWORK;
        a.number_type = RIL_CDMA_SMS_NUMBER_TYPE_INTERNATIONAL_OR_DATA_IP;
        a.number_plan = RIL_CDMA_SMS_NUMBER_PLAN_TELEPHONY;
        for (size_t i = 1; i < number.size(); ++i) a.digits[a.number_of_digits++] = static_cast<unsigned char>(number[i]);
    } else {
        a.digit_mode = RIL_CDMA_SMS_DIGIT_MODE_4_BIT;  // DTMF codes: 0 is 10, * 11, # 12
        for (char c : number)
            a.digits[a.number_of_digits++] =
                static_cast<unsigned char>(c == '0' ? 10 : c == '*' ? 11 : c == '#' ? 12 : c - '0');
    }
    bool ascii = true;
    for (unsigned char c : text) ascii = ascii && c >= 0x20 && c < 0x7f;
    std::u16string units;
    if (!ascii && !Utf8ToUtf16(text, &units)) {
        *error = "the text is not valid UTF-8";
        return false;
    }
    if (ascii ? text.size() > 160 : units.size() > 70) {
        *error = "the text has " + std::to_string(ascii ? text.size() : units.size()) + " characters; one message holds at most " +
                 (ascii ? "160" : "70 outside plain ASCII");
        return false;
    }
    Bits b;
    b.Put(8, 0x00);  // message identifier: SUBMIT, id 1, no header
    b.Put(8, 3);
    b.Put(4, 2);
    b.Put(16, 1);
    b.Put(1, 0);
    b.Put(3, 0);
    Bits u;  // user data: 7-bit ASCII (2) or UCS-2 (4)
    u.Put(5, ascii ? 2 : 4);
    u.Put(8, static_cast<unsigned>(ascii ? text.size() : units.size()));
    if (ascii)
        for (unsigned char c : text) u.Put(7, c);
    else
        for (char16_t c : units) u.Put(16, c);
    b.Put(8, 0x01);
    b.Put(8, static_cast<unsigned>(u.bytes.size()));
    for (unsigned char c : u.bytes) b.Put(8, c);
    m->uBearerDataLen = static_cast<int>(b.bytes.size());
    std::memcpy(m->aBearerData, b.bytes.data(), b.bytes.size());
    return true;
}

const std::vector<Command> &Commands() {
    static const std::vector<Command> kCommands = {
        {"demo", "", "run the library through start-up, SIM, identities, network, USSD, SMS, a call and data",
         "Starts the built-in simulated modem (--module) behind a private fake root and reports each step\n"
         "with its time. Steps whose service is not built into the library yet are left out.\n",
         0, 0, RunDemo},
        {"status", "", "module, ports, SIM, identities, signal, registration and operator",
         "Reads what the library knows about the modem; sends nothing to the network.\n", 0, 0, RunStatus},
        {"sms send", "NUMBER TEXT", "send one text message",
         "NUMBER: digits with an optional leading +. TEXT: up to 160 characters of the GSM alphabet,\n"
         "or up to 70 other characters (sent as UCS-2). On a CDMA module the message goes out as CDMA\n"
         "text (teleservice 4098): up to 160 ASCII characters, or 70 others as UCS-2.\n",
         2, 2, RunSmsSend},
        {"ussd", "CODE [REPLY...]", "send a USSD code and show the network's answer",
         "Each REPLY answers a menu the network opened, in order: zvril ussd *100# 1\n", 1, 8, RunUssd},
        {"dial", "NUMBER", "start a voice call", "The call stays up after zvril ends; end it with: zvril hangup\n", 1,
         1, RunDial},
        {"hangup", "[INDEX]", "end the active call (or the call with this index)", "", 0, 1, RunHangup},
        {"data up", "APN [USER PASSWORD] [--for SECONDS]", "bring a data call up and hold it until Ctrl-C",
         "Sets the call up, shows the interface's address, default route and DNS servers as the kernel\n"
         "has them, holds the call until Ctrl-C or SIGTERM (or for SECONDS; 0 takes it down at once)\n"
         "and then takes it down. Needs root for the network interface, route and DNS configuration;\n"
         "with the built-in simulator zvril runs inside private network namespaces where usb0 is one\n"
         "end of a virtual cable and a DHCP server answers on the other (the host's network is untouched).\n",
         1, 5, RunDataUp},
        {"data down", "[CALL]", "tell the modem to end a data call (default call 1)",
         "For a call the modem still holds that no running zvril holds (zvril data up ends its own call\n"
         "when it ends); the interface configuration of another process is not touched. The built-in\n"
         "simulator starts without a call on every run, so there is nothing to take down.\n",
         0, 1, RunDataDown},
        {"scan", "", "list the networks in range (can take minutes)",
         "Shows a progress indicator on standard error while the modem scans.\n", 0, 0, RunScan},
        {"pin", "[PIN | --puk PUK NEWPIN]", "show the SIM's lock state, or enter the PIN or PUK", "", 0, 3, RunPin},
        {"at", "COMMAND", "send one AT command through the library's OEM hook and print the answer",
         "Example: zvril at 'AT+CSQ'\n", 1, 1, RunAt},
        {"watch", "[SECONDS]", "print the modem's events as they arrive", "Runs until Ctrl-C or for SECONDS.\n", 0, 1,
         RunWatch},
        {"trace", "--html OUT.html JOURNAL", "draw a journal written by --trace as an HTML page",
         "Writes one self-contained page (no network access): a timeline of the requests, the AT\n"
         "exchanges that served them and the unsolicited lines, errors, time-outs and refused answers\n"
         "marked. Needs no modem and loads no library. --trace FILE.html writes the page directly.\n",
         3, 3, RunTraceHtml},
    };
    return kCommands;
}

}  // namespace zvril
