// Registration state: +CREG/+CGREG by their comma layouts, the technology from ^SYSINFOEX or
// ^SYSINFO, the CDMA answer from ^SYSINFO and ^CURRSID, and the ^MODE report.
#include <stdlib.h>
#include <string.h>

#include <string>

#include <zvgeneration.h>
#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvril.h>
#include <zvshared.h>
#include <zvstr.h>

#include "atchannel/at_tok.h"
#include "mm/mm.h"

namespace {

using zv::mm::FirstLine;
using zv::mm::HoldBackRadioTech;

// ^SYSINFO sub-modes 0..15 as radio technology; ^MODE reads sub-mode 8 (HSDPA and HSUPA on
// some modules) as UMTS where ^SYSINFO gives it no technology.
constexpr int kSysinfoSubmodeTech[16] = {0, 16, 1, 2, 3, 9, 10, 11, 0, 15, 0, 0, 0, 0, 0, 3};
constexpr int kModeSubmodeTech[16] = {0, 16, 1, 2, 3, 9, 10, 11, 3, 15, 0, 0, 0, 0, 0, 3};

int TechBySubmode(const int (&table)[16], int submode) {
    return submode >= 0 && submode < 16 ? HoldBackRadioTech(table[submode]) : 0;
}

int TechByCdmaSysMode(int sysMode) {
    switch (sysMode) {
        case 2: return RADIO_TECH_1xRTT;
        case 4:
        case 8: return RADIO_TECH_EVDO_A;
        default: return RADIO_TECH_UNKNOWN;
    }
}

struct SubmodeTech {
    int submode;
    int tech;
};
constexpr SubmodeTech kSysinfoexTech[] = {
    {2, 1},   {3, 2},   {41, 3},  {61, 3},  {42, 9},  {62, 9},  {43, 10},  {63, 10},
    {44, 11}, {64, 11}, {45, 15}, {46, 15}, {65, 15}, {101, 14},
};

int TechBySysinfoexSubmode(int submode) {
    for (const SubmodeTech &row : kSysinfoexTech) {
        if (row.submode == submode) return HoldBackRadioTech(row.tech);
    }
    return RADIO_TECH_UNKNOWN;
}

SysinfoState *NewSysinfoState() {
    for (int attempt = 0; attempt < 10; ++attempt) {
        auto *state = static_cast<SysinfoState *>(calloc(1, sizeof(SysinfoState)));
        if (state) return state;
        RLOGD("SysinfoState calloc FAIL");
    }
    return nullptr;
}

int CountCommas(const char *text) {
    int commas = 0;
    for (; *text; ++text) commas += *text == ',';
    return commas;
}

// One +CREG or +CGREG line into the message's record; the two layouts share everything but
// their log texts.
int RegistrationLine(RilMessage *message, ATResponse *response, bool data) {
    const char *name = data ? "DataRegistrationState" : "VoiceRegistrationState";
    if (!message) {
        RLOGD("%s: input p_message is NULL", name);
        return 0;
    }
    auto *info = static_cast<RegistrationInfo *>(message->data);
    char *cursor = FirstLine(response);
    if (!info || !cursor || at_tok_start(&cursor) < 0) return 0;

    int n = 0;
    int commas = CountCommas(cursor);
    bool location = false;
    bool keepTech = false;
    if (commas > 5) {
        RLOGD(data ? "CGREG : Radio module is invalid!" : "CREG : Radio module is invalid!");
        commas = 0;
    }
    switch (commas) {
        case 0:
            break;
        case 1:
            if (at_tok_nextint(&cursor, &n) < 0) return 0;
            break;
        case 2:
            location = true;
            break;
        default:  // 3, 4 or 5: the solicited form, anything after the cell ignored
            if (at_tok_nextint(&cursor, &n) < 0) return 0;
            location = true;
            keepTech = true;
            break;
    }
    if (at_tok_nextint(&cursor, &info->regState) < 0) return 0;
    if (!location) {
        info->lac = -1;
        info->cid = -1;
        info->radioTech = 0;
        return 1;
    }
    if (at_tok_nexthexint(&cursor, &info->lac) < 0) return 0;
    if (at_tok_nexthexint(&cursor, &info->cid) < 0) {
        RLOGD(commas == 2 || commas == 3 ? "RequestDataRegistrationState:case 2:at_tok_nexthexint erro !"
                                         : "RequestDataRegistrationState:case 5:at_tok_nexthexint erro !");
    }
    if (!keepTech) info->radioTech = 0;
    return 1;
}

// The registration parsers share the walk over the list; `line` runs the registration line.
int RegistrationWithSysinfo(RilMessage *message, ATResponse **list, const char *prefix, bool data) {
    if (!message) {
        RLOGD("%s: input p_message is NULL", data ? "GetDataRegistrationState" : "GetVoiceRegistrationState");
        return 0;
    }
    auto *info = static_cast<RegistrationInfo *>(message->data);
    if (!info || !list) return 0;
    int result = 0;
    SysinfoState *sysinfo = nullptr;
    for (ATResponse **r = list; *r; ++r) {
        const char *line = FirstLine(*r);
        if (!line) continue;
        SysinfoState *found = nullptr;
        if (strstr(line, prefix)) {
            result = RegistrationLine(message, *r, data);
        } else if (strstr(line, "^SYSINFOEX:")) {
            found = GetSubmodeBySysinfoex(message, *r);
        } else if (strstr(line, "^SYSINFO:")) {
            found = GetSubmodeBySysinfo(message, *r);
        }
        if (found) {
            free(sysinfo);
            sysinfo = found;
        }
    }
    if (!sysinfo) return 0;  // without a technology the answer would mislead the framework
    info->radioTech = sysinfo->radioTech;
    if (data && info->regState == 0 && sysinfo->psAttached == 1) info->regState = 1;
    free(sysinfo);
    return result;
}

zv::ATResponsePtr SendSingleline(const char *command, const char *prefix, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command_singleline(command, prefix, &raw);
    return zv::ATResponsePtr(raw);
}

bool AcceptedExactly(int err, const ATResponse *response) {
    return err == 0 && response && response->success > 0;
}

void FinishWithFields(zv::RequestCompletion &done, const zv::mm::RegistrationFields &fields) {
    const char *strings[15] = {};
    const size_t count = fields.size() < 15 ? fields.size() : 15;
    for (size_t i = 0; i < count; ++i) strings[i] = fields[i] ? fields[i]->c_str() : nullptr;
    done.Finish(RIL_E_SUCCESS, strings, count * sizeof(char *));
}

// The CDMA answer from ^SYSINFO and ^CURRSID; `data` matters only to the 8-13 daemon.
void CdmaRegistration(bool data, RIL_Token t) {
    zv::RequestCompletion done(t);
    int err = 0;
    zv::ATResponsePtr sysinfo = SendSingleline("AT^SYSINFO", "^SYSINFO:", &err);
    bool ok = AcceptedExactly(err, sysinfo.get());
    zv::ATResponsePtr sid;
    if (ok) {
        sid = SendSingleline("AT^CURRSID?", "^CURRSID:", &err);
        ok = AcceptedExactly(err, sid.get());
    }
    RegistrationInfo info{};
    if (ok) {
        zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_VOICE_REGISTRATION_STATE, nullptr, &info);
        ATResponse *list[] = {sysinfo.get(), sid.get(), nullptr};
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD("requestRegistrationState must never return an error when radio is on");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    if (zv::HidlGeneration()) {
        FinishWithFields(done, zv::mm::HidlRegistrationFields(info, data, true));
        return;
    }
    std::string state = zv::Format("%d", info.regState), tech = zv::Format("%d", info.radioTech),
                sidText = zv::Format("%d", info.sid), nidText = zv::Format("%d", info.nid);
    // Base station id, latitude and longitude unknown; the system is in the PRL, not roaming.
    const char *strings[14] = {state.c_str(), nullptr,         nullptr,         tech.c_str(), "-1",
                               "2147483647",  "2147483647",    "0",             sidText.c_str(),
                               nidText.c_str(), "1",           "1",             "1",          "0"};
    done.Finish(RIL_E_SUCCESS, strings, sizeof strings);
}

}  // namespace

namespace zv::mm {

RegistrationFields HidlRegistrationFields(const RegistrationInfo &info, bool data, bool cdma) {
    // A +CREG/+CGREG without location leaves -1; CDMA has no LAC or cell of this kind.
    const bool located = !cdma && info.lac != -1;
    // On E-UTRAN the LAC and cell fields of +CGREG hold the TAC and the E-UTRAN cell id.
    const bool lte = data && located && info.radioTech == RADIO_TECH_LTE;
    RegistrationFields f(data ? (lte ? 11 : 6) : 15);
    f[0] = Format("%d", info.regState);
    if (located) {
        f[1] = Format("%x", static_cast<unsigned>(info.lac));
        f[2] = Format("%x", static_cast<unsigned>(info.cid));
    }
    f[3] = Format("%d", info.radioTech);
    // The modules say that registration was denied, not why: the general reason.
    if (info.regState == 3) f[data ? 4 : 13] = "0";
    if (data) {
        f[5] = "1";  // one data call at a time
        if (lte) {
            f[6] = f[1];
            f[8] = f[2];
        }
        return f;
    }
    if (cdma) {
        // Concurrent services, the PRL and its default indicator as the socket answer has
        // always claimed them; the roaming indicator (TSB-58: 0 on, 1 off) from ^SYSINFO.
        f[7] = "0";
        f[8] = Format("%d", info.sid);
        f[9] = Format("%d", info.nid);
        f[10] = info.regState == 5 ? "0" : "1";
        f[11] = "1";
        f[12] = "1";
    }
    return f;
}

void RequestCdmaRegistrationState(int request, RIL_Token t) {
    CdmaRegistration(request == RIL_REQUEST_DATA_REGISTRATION_STATE, t);
}

void RequestRegistrationState(int request, RIL_Token t) {
    const bool data = request == RIL_REQUEST_DATA_REGISTRATION_STATE;
    RequestCompletion done(t);
    int err = 0;
    ATResponsePtr registration =
        SendSingleline(data ? "AT+CGREG?" : "AT+CREG?", data ? "+CGREG:" : "+CREG:", &err);
    RegistrationInfo info{};
    bool ok = AcceptedExactly(err, registration.get());
    MessagePtr message;
    ATResponsePtr sysinfo;
    if (ok) {
        message = ObtainMessage(request, nullptr, &info);
        sysinfo = SendSingleline("AT^SYSINFOEX", "^SYSINFOEX:", &err);
        if (!Accepted(err, sysinfo.get())) {
            sysinfo = SendSingleline("AT^SYSINFO", "^SYSINFO:", &err);
            if (!Accepted(err, sysinfo.get())) sysinfo.reset();
        }
        ATResponse *list[] = {registration.get(), sysinfo.get(), nullptr};
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD(data ? "RequestDataRegistration must never return an error when radio is on"
                   : "RequestVoiceRegistration must never return an error when radio is on");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    RLOGD(data ? "*********data registration state : %d LAC : %d  CID : %d  available radio : %d "
               : "*********voice registration state : %d LAC : %d  CID : %d  available radio : %d ",
          info.regState, info.lac, info.cid, info.radioTech);
    if (HidlGeneration()) {
        FinishWithFields(done, HidlRegistrationFields(info, data, false));
        return;
    }
    std::string state = Format("%d", info.regState), lac = Format("%x", static_cast<unsigned>(info.lac)),
                cid = Format("%x", static_cast<unsigned>(info.cid)), tech = Format("%d", info.radioTech);
    const char *strings[4] = {state.c_str(), lac.c_str(), cid.c_str(), tech.c_str()};
    done.Finish(RIL_E_SUCCESS, strings, sizeof strings);
}

}  // namespace zv::mm

extern "C" {

int VoiceRegistrationState(RilMessage *message, ATResponse *response) {
    return RegistrationLine(message, response, false);
}

int DataRegistrationState(RilMessage *message, ATResponse *response) {
    return RegistrationLine(message, response, true);
}

int GetVoiceRegistrationState(RilMessage *message, ATResponse **list) {
    return RegistrationWithSysinfo(message, list, "+CREG:", false);
}

int GetDataRegistrationState(RilMessage *message, ATResponse **list) {
    return RegistrationWithSysinfo(message, list, "+CGREG:", true);
}

SysinfoState *GetSubmodeBySysinfo(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("GetSubmodeBySysinfo: input p_message is NULL");
        return nullptr;
    }
    char *cursor = FirstLine(response);
    if (!cursor) return nullptr;
    RLOGD("sysinfo:%s", "^SYSINFO:");
    SysinfoState *state = NewSysinfoState();
    if (!state) return nullptr;
    int srvStatus = 0, srvDomain = 0, roam = 0, sysMode = 0, simState = 0, lock = 0, submode = 0;
    bool all = at_tok_start(&cursor) == 0 && at_tok_nextint(&cursor, &srvStatus) == 0 &&
               at_tok_nextint(&cursor, &srvDomain) == 0 && at_tok_nextint(&cursor, &roam) == 0 &&
               at_tok_nextint(&cursor, &sysMode) == 0 && at_tok_nextint(&cursor, &simState) == 0;
    if (all) {
        // The lock state is reserved: most modules leave it empty.
        if (at_tok_nextint(&cursor, &lock) < 0) RLOGD("reserved. always NULL");
        all = at_tok_nextint(&cursor, &submode) == 0;
    }
    if (all) {
        state->regState = srvStatus == 2 ? (roam == 1 ? 5 : 1) : 0;
        state->radioTech = zv::Load(g_module_type) == 0 ? TechByCdmaSysMode(sysMode)
                                                         : TechBySubmode(kSysinfoSubmodeTech, submode);
    }
    state->psAttached = srvStatus == 2 && (srvDomain == 2 || srvDomain == 3) ? 1 : 0;
    return state;
}

SysinfoState *GetSubmodeBySysinfoex(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("GetSubmodeBySysinfoex: input p_message is NULL");
        return nullptr;
    }
    char *cursor = FirstLine(response);
    if (!cursor) return nullptr;
    RLOGD("sysinfoex:%s", "^SYSINFOEX:");
    SysinfoState *state = NewSysinfoState();
    if (!state) return nullptr;
    int srvStatus = 0, srvDomain = 0, roam = 0, simState = 0, lock = 0, sysMode = 0, submode = 0;
    char *modeName = nullptr;
    bool all = at_tok_start(&cursor) == 0 && at_tok_nextint(&cursor, &srvStatus) == 0 &&
               at_tok_nextint(&cursor, &srvDomain) == 0 && at_tok_nextint(&cursor, &roam) == 0 &&
               at_tok_nextint(&cursor, &simState) == 0;
    if (all) {
        if (at_tok_nextint(&cursor, &lock) < 0) RLOGD("reserved. always NULL");
        all = at_tok_nextint(&cursor, &sysMode) == 0 && at_tok_nextstr(&cursor, &modeName) == 0 &&
              at_tok_nextint(&cursor, &submode) == 0;
    }
    if (all) state->radioTech = TechBySysinfoexSubmode(submode);
    state->psAttached = srvStatus == 2 && (srvDomain == 2 || srvDomain == 3) ? 1 : 0;
    return state;
}

int CdmaGetCURRSID(RilMessage *message, ATResponse *response) {
    if (!message) {
        RLOGD("CdmaGetCURRSID: input p_message is NULL");
        return 0;
    }
    auto *info = static_cast<RegistrationInfo *>(message->data);
    char *cursor = FirstLine(response);
    if (!info || !cursor) return 0;
    if (at_tok_start(&cursor) < 0 || at_tok_nextint(&cursor, &info->sid) < 0 ||
        at_tok_nextint(&cursor, &info->nid) < 0)
        return 0;
    info->lac = 0;
    info->cid = 0;
    return 1;
}

int CdmaGetVoiceRegistrationState(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("CdmaGetVoiceRegistrationState: input p_message is NULL");
        return 0;
    }
    auto *info = static_cast<RegistrationInfo *>(message->data);
    if (!info || !list) return 0;
    int result = 0;
    for (ATResponse **r = list; *r; ++r) {
        const char *line = FirstLine(*r);
        if (!line) continue;
        if (strstr(line, "^SYSINFO:")) {
            if (SysinfoState *state = GetSubmodeBySysinfo(message, *r)) {
                info->regState = state->regState;
                info->radioTech = state->radioTech;
                free(state);
            }
        } else if (strstr(line, "^CURRSID:")) {
            result = CdmaGetCURRSID(message, *r);
        }
    }
    return result;
}

void RequestCdmaRegistrationState(RIL_Token t) { CdmaRegistration(false, t); }

void UnsolicitedMode(const char *line) {
    if (!line) return;
    char copy[256];
    zv::CopyBounded(copy, sizeof copy, line);
    char *cursor = copy;
    if (at_tok_start(&cursor) < 0) RLOGD("UnsolicitedMode at_tok_start FAIL!");
    int sysMode = 0, submode = 0;
    if (at_tok_nextint(&cursor, &sysMode) < 0 || at_tok_nextint(&cursor, &submode) < 0) {
        RLOGD("%s: Error parameter in the AT command: %s", "UnsolicitedMode", "^MODE:");
        return;
    }
    int tech = TechBySubmode(kModeSubmodeTech, submode);
    // The 8-13 daemon hears of a change from the note; the socket daemon from every line.
    zv::NoteVoiceRadioTech(tech);
    if (zv::HidlGeneration()) return;
    if (zv::Load(ANDROID_VERSION) >= 4) {
        zv::ReportUnsolicited(RIL_UNSOL_VOICE_RADIO_TECH_CHANGED, &tech, sizeof tech);
    } else {
        zv::ReportUnsolicited(RIL_UNSOL_RESPONSE_VOICE_NETWORK_STATE_CHANGED);
    }
}

}  // extern "C"
