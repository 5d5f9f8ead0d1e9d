// The SIM toolkit relayed through the modem. The framework's toolkit service speaks BER-TLV in
// hex; the modem offers either its own ^STGI/^STGR set (g_stk_project 0; also used when the
// modem could not say, 2) or the +CUSAT set of TS 27.007 (1). Hex from the framework goes into a
// quoted argument, so anything but an even number of hex digits is refused before a command
// is built.
#include "sim/stk.h"

#include <ctype.h>
#include <string.h>

#include <mutex>
#include <string>
#include <vector>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "sim/sim_io.h"

namespace {

// An envelope or terminal response is one BER-TLV of at most 255 bytes behind a two-byte
// length; a terminal profile is shorter still.
constexpr size_t kMaxToolkitDigits = 2 * (255 + 3);

// The framework's hex, checked; nullptr when it must not reach the modem.
const char *ToolkitHex(const void *data) {
    const char *hex = static_cast<const char *>(data);
    if (!hex || hex[0] == '\0') return nullptr;
    if (strnlen(hex, kMaxToolkitDigits + 1) > kMaxToolkitDigits || !zv::sim::IsHexText(hex)) return nullptr;
    return hex;
}

bool SendAccepted(const std::string &command) {
    ATResponse *raw = nullptr;
    int err = at_send_command(command.c_str(), &raw);
    zv::ATResponsePtr response(raw);
    return zv::Accepted(err, response.get());
}

// Types of command (TS 102 223) the modem carries out itself and only tells the framework
// about; refresh and set-up call end the session the framework sees.
constexpr const char *kNotifyTypes[] = {"05", "11", "12", "13", "14", "40", "41", "42", "43"};
constexpr const char *kSessionEndTypes[] = {"01", "10"};

bool OneOf(const char *type, const char *const *list, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (strcmp(type, list[i]) == 0) return true;
    }
    return false;
}

// A command the card sends before the framework's toolkit service listens (the set-up menu right
// after the card is ready, typically) would be lost with it: the framework does not ask again.
// The first few are held in order; a card that says more before anyone listens is repeating
// itself, and the rest is dropped.
constexpr size_t kMaxHeldReports = 8;

struct HeldReport {
    int id;
    bool hasHex;
    std::string hex;
};

// Guards the flag and the held reports. Nothing is sent under it: the held reports go out one
// at a time, and the flag is set only once none is left, so that a report arriving meanwhile
// joins the queue behind them instead of overtaking them.
std::mutex g_toolkitMutex;
bool g_toolkitRunning = false;
std::vector<HeldReport> g_heldReports;

void SendToolkitReport(int id, const char *hex) {
    if (hex) {
        zv::ReportUnsolicited(id, hex, strlen(hex) + 1);
    } else {
        zv::ReportUnsolicited(id);
    }
}

}  // namespace

namespace zv::stk {

void ReportToolkit(int id, const char *hex) {
    bool running, held = false;
    {
        std::lock_guard<std::mutex> lock(g_toolkitMutex);
        running = g_toolkitRunning;
        if (!running && g_heldReports.size() < kMaxHeldReports) {
            g_heldReports.push_back({id, hex != nullptr, hex ? hex : ""});
            held = true;
        }
    }
    if (running) {
        SendToolkitReport(id, hex);
    } else if (held) {
        RLOGD("toolkit report %d held until the toolkit service runs", id);
    } else {
        RLOGD("toolkit report %d dropped: the toolkit service is not running", id);
    }
}

void ToolkitServiceRunning() {
    for (;;) {
        HeldReport report;
        {
            std::lock_guard<std::mutex> lock(g_toolkitMutex);
            if (g_heldReports.empty()) {
                g_toolkitRunning = true;
                return;
            }
            report = std::move(g_heldReports.front());
            g_heldReports.erase(g_heldReports.begin());
        }
        SendToolkitReport(report.id, report.hasHex ? report.hex.c_str() : nullptr);
    }
}

int ClassifyProactiveCommand(const char *hex) {
    if (!hex) return RIL_UNSOL_STK_PROACTIVE_COMMAND;
    const size_t len = strnlen(hex, 16);
    // The type of command sits in the command details after the proactive tag and its length,
    // which takes two bytes ("81" and the length) from 128 bytes on.
    size_t at = 10;
    if (len >= 4 && hex[2] == '8' && hex[3] == '1') at = 12;
    if (len < at + 2) return RIL_UNSOL_STK_PROACTIVE_COMMAND;
    const char type[3] = {hex[at], hex[at + 1], '\0'};
    if (OneOf(type, kNotifyTypes, sizeof kNotifyTypes / sizeof kNotifyTypes[0])) return RIL_UNSOL_STK_EVENT_NOTIFY;
    if (OneOf(type, kSessionEndTypes, sizeof kSessionEndTypes / sizeof kSessionEndTypes[0]))
        return RIL_UNSOL_STK_SESSION_END;
    return RIL_UNSOL_STK_PROACTIVE_COMMAND;
}

void UnsolicitedStin(const char *line) {
    std::string copy = line;
    char *cursor = copy.data();
    int type = -1;
    char *text = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &type) < 0) {
        RLOGD("^STIN parse error 1");
        return;
    }
    if (at_tok_nextstr(&cursor, &text) < 0) {
        RLOGD("^STIN parse error 2");
        return;
    }
    if (at_tok_hasmore(&cursor)) {
        RLOGD("Error STIN !!!");
        return;
    }
    switch (type) {
        case 99:
            ReportToolkit(RIL_UNSOL_STK_SESSION_END);
            break;
        case 0:
        case 1:
            // The framework parses the string as BER-TLV hex; anything else would only
            // break its toolkit session.
            if (!sim::IsHexText(text) || *text == '\0') {
                RLOGD("^STIN: %d without a command", type);
                break;
            }
            ReportToolkit(type == 0 ? RIL_UNSOL_STK_PROACTIVE_COMMAND : RIL_UNSOL_STK_EVENT_NOTIFY, text);
            break;
        default:
            break;
    }
}

void UnsolicitedCusatp(const char *line) {
    std::string copy = line;
    char *cursor = copy.data();
    char *text = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &text) < 0 || !text) return;
    if (*text == '\0' || !sim::IsHexText(text)) {
        RLOGD("+CUSATP: without a command");
        return;
    }
    const int id = ClassifyProactiveCommand(text);
    ReportToolkit(id, id == RIL_UNSOL_STK_SESSION_END ? nullptr : text);
}

void UnsolicitedCusatend(const char * /*line*/) {
    ReportToolkit(RIL_UNSOL_STK_SESSION_END);
}

}  // namespace zv::stk

extern "C" {

int STKSolutionMode(void) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT^STSF?", "^STSF:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::AcceptedWithLine(err, response.get())) return 2;
    char *cursor = response->p_intermediates->line;
    int mode = 0, set = 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &mode) < 0 || at_tok_nextint(&cursor, &set) < 0)
        return 2;
    return set == 2 ? 1 : 0;
}

void RequestSTKSendEnvelopeCommand(void *data, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data) {
        RLOGD("Send STK envelope is NULL!");
        return;
    }
    const char *checked = ToolkitHex(data);
    if (!checked) {
        RLOGD("Send STK envelope Failed!");
        return;
    }
    std::string hex = checked;
    for (char &c : hex) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));

    if (zv::Load(g_stk_project) == 1) {
        ATResponse *raw = nullptr;
        int err = at_send_command_singleline(zv::Format("%s\"%s\"", "AT+CUSATE=", hex.c_str()).c_str(), "+CUSATE:",
                                             &raw);
        zv::ATResponsePtr response(raw);
        char *answer = nullptr;
        if (zv::AcceptedWithLine(err, response.get())) {
            char *cursor = response->p_intermediates->line;
            if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &answer) < 0) answer = nullptr;
        }
        if (!answer) {
            RLOGD("Send STK envelope Failed!");
            return;
        }
        done.Finish(RIL_E_SUCCESS, answer, sizeof(char *));
        return;
    }
    if (SendAccepted(zv::Format("%s0,\"%s\"", "AT^STGR=", hex.c_str()))) {
        done.Finish(RIL_E_SUCCESS);
    } else {
        RLOGD("Send STK envelope Failed!");
    }
}

void RequestSTKSendTerminalResponse(void *data, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data) {
        RLOGD("Send STK Terminal response is NULL!");
        return;
    }
    const char *hex = ToolkitHex(data);
    std::string command;
    if (hex) {
        command = zv::Load(g_stk_project) == 1 ? zv::Format("%s\"%s\"", "AT+CUSATT=", hex)
                                                : zv::Format("%s1,\"%s\"", "AT^STGR=", hex);
    }
    if (hex && SendAccepted(command)) {
        done.Finish(RIL_E_SUCCESS);
    } else {
        RLOGD("Send STK Terminal response Failed!");
    }
}

void RequestSTKHandleCallSetupRequestedFromSim(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    // Without the int there is no answer to give the card; nothing is sent.
    if (!data || datalen < sizeof(int)) return;
    const bool accept = *static_cast<const int *>(data) != 0;
    ATResponse *raw = nullptr;
    at_send_command(accept ? zv::Format("%s1", "AT^CSTC=").c_str() : zv::Format("%s0", "AT^CSTC=").c_str(), &raw);
    at_response_free(raw);
    // The card goes on with the call set-up whatever the modem made of the answer.
    done.Finish(RIL_E_SUCCESS);
}

void RequestReportSTKServiceIsRuning(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    const std::string command = zv::Load(g_stk_project) == 1 ? zv::Format("%s1,2", "AT^STSF=")
                                                             : zv::Format("%s1,0", "AT^STSF=");
    if (SendAccepted(command)) {
        done.Finish(RIL_E_SUCCESS);
    } else {
        RLOGD("Activation the STK is  Failed!!!");
        done.Finish(RIL_E_GENERIC_FAILURE);
    }
    // The service listens whatever the modem made of the activation; what the card said
    // meanwhile follows the answer.
    zv::stk::ToolkitServiceRunning();
}

void RequestSTKGetProfile(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline(zv::Format("%s3", "AT+CUSATR=").c_str(), "+CUSATR:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::AcceptedWithLine(err, response.get())) return;
    char *cursor = response->p_intermediates->line;
    int which = 0;
    char *profile = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &which) < 0 || at_tok_nextstr(&cursor, &profile) < 0)
        return;
    done.Finish(RIL_E_SUCCESS, profile, sizeof(char *));
}

void RequestSTKSetProfile(void *data, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    const char *hex = ToolkitHex(data);
    if (!hex) {
        RLOGD("RequestSTKSetProfile: profile refused");
        return;
    }
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline(zv::Format("%s0,\"%s\"", "AT+CUSATW=", hex).c_str(), "+CUSATW:", &raw);
    zv::ATResponsePtr response(raw);
    // The "+CUSATW:" line is optional: a bare OK has taken the profile as well.
    if (err == AT_ERR_NO_INTERMEDIATE || zv::Accepted(err, response.get())) done.Finish(RIL_E_SUCCESS);
}

}  // extern "C"
