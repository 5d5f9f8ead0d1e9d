// Signal strength: the request in its 3GPP and CDMA forms, the one parser over every line form
// the modules give, the ^HCSQ level converters, and the two unsolicited reports. A report is
// handled on the reader thread without touching the heap: the line copy, the response wrapper,
// the message and the record all live on the stack.
//
// Every path works on the 8-13 daemon's 56-byte record. The socket daemon gets the leading part
// its release knows (v6, v5 or the GSM pair), filled as it always was; the 8-13 daemon takes
// the whole record or nothing, and writes into its LTE fields, so it always gets a writable
// copy of its own.
#include <limits.h>
#include <stddef.h>
#include <string.h>

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
using zv::mm::SignalTdScdmaRscpToReal;

static_assert(sizeof(ZvSignalStrength_v10) == 56, "the 8-13 daemon checks the exact size");
static_assert(offsetof(ZvSignalStrength_v10, lteTimingAdvance) == 48 && offsetof(ZvSignalStrength_v10, tdScdmaRscp) == 52,
              "RIL_SignalStrength_v10 puts the LTE timing advance and the TD-SCDMA RSCP after the v6 record");

constexpr int kUnknownRssnr = 0x7FFFFFFF;
// Signal lines are a few dozen characters; a longer one is cut, never overrun.
constexpr size_t kMaxSignalLine = 256;

// Initial contents for a 3GPP request and the 3GPP reports: nothing known.
RIL_SignalStrength_v6 Unknown3gpp() {
    RIL_SignalStrength_v6 s;
    s.GW_SignalStrength = {99, 99};
    s.CDMA_SignalStrength = {-1, -1};
    s.EVDO_SignalStrength = {-1, -1, -1};
    s.LTE_SignalStrength = {-1, -1, -1, kUnknownRssnr, -1};
    return s;
}

RIL_SignalStrength_v6 Filled(int value) {
    RIL_SignalStrength_v6 s;
    s.GW_SignalStrength = {value, value};
    s.CDMA_SignalStrength = {value, value};
    s.EVDO_SignalStrength = {value, value, value};
    s.LTE_SignalStrength = {value, value, value, value, value};
    return s;
}

// +CSQ and ^RSSI may use the extended scale 100..191 (-116 dBm in 91 steps); 199 is unknown.
int ExtendedScale(int v) {
    if (v >= 100 && v <= 190) return (31 * v - 3100) / 91;
    if (v == 199) return 99;
    return v;
}

int CdmaRssiToDbm(int v) {
    if (v == 0) return 125;
    if (v <= 30) return (3565 - 31 * v) / 50;
    if (v == 31) return 75;
    return v;
}

// The ^HCSQ SINR code counts 0.2 dB steps from -20 dB; the platform wants 0.1 dB units and
// accepts -200..300. Codes beyond that (255: not known) leave the value unknown.
int SinrToRssnr(int code) {
    return code >= 0 && code <= 250 ? -200 + 2 * code : kUnknownRssnr;
}

int ParseHcsq(char *line, RIL_SignalStrength_v6 *s, int *tdScdmaRscp) {
    char *cursor = line;
    char *mode = nullptr;
    if (at_tok_start(&cursor) < 0 || at_tok_nextstr(&cursor, &mode) < 0) return 0;
    if (strcmp(mode, "NOSERVICE") == 0) {
        RLOGD("NOSERVICE");
        return 1;
    }
    if (strcmp(mode, "GSM") == 0 || strcmp(mode, "WCDMA") == 0 || strcmp(mode, "TD-SCDMA") == 0) {
        int rssi = 0;
        if (at_tok_nextint(&cursor, &rssi) < 0) {
            RLOGD("GetSignalStrength rssi is FAIL!");
            rssi = 0;
        }
        s->GW_SignalStrength.signalStrength = SignalWcdmaRssiToReal(rssi);
        // Only the 8-13 daemon's record has a place for the TD-SCDMA RSCP that follows.
        int rscp = 0;
        if (tdScdmaRscp && strcmp(mode, "TD-SCDMA") == 0 && at_tok_nextint(&cursor, &rscp) == 0)
            *tdScdmaRscp = SignalTdScdmaRscpToReal(rscp);
        return 1;
    }
    if (strcmp(mode, "LTE") == 0 && zv::Load(ANDROID_VERSION) >= 2) {
        // The LTE levels come as rssi, rsrp, sinr, rsrq.
        int rssi = 0, rsrp = 0, sinr = 0, rsrq = 0;
        if (at_tok_nextint(&cursor, &rssi) < 0) {
            RLOGD("GetSignalStrength rssi is FAIL!");
            rssi = 0;
        }
        if (at_tok_nextint(&cursor, &rsrp) < 0) {
            RLOGD("GetSignalStrength rsrp is FAIL!");
            rsrp = 0;
        }
        const bool haveSinr = at_tok_nextint(&cursor, &sinr) == 0;
        const bool haveRsrq = at_tok_nextint(&cursor, &rsrq) == 0;
        s->LTE_SignalStrength.signalStrength = SignalWcdmaRssiToReal(rssi);
        s->LTE_SignalStrength.rsrp = SignalLteRsrpToReal(rsrp);
        if (haveSinr) s->LTE_SignalStrength.rssnr = SinrToRssnr(sinr);
        if (haveRsrq) {
            s->LTE_SignalStrength.rsrq = SignalLteRsrqToReal(rsrq);
        } else {
            RLOGD("GetSignalStrength rsrq is FAIL!");
        }
    }
    return 1;
}

int ParseCsqOrRssi(char *line, RIL_SignalStrength_v6 *s, bool csq) {
    char *cursor = line;
    if (at_tok_start(&cursor) < 0) {
        if (csq) return 0;
        RLOGD("UnsolicitedSignalStrength:at_tok_start error !");
    }
    if (at_tok_nextint(&cursor, &s->GW_SignalStrength.signalStrength) < 0) return 0;
    if (csq && at_tok_nextint(&cursor, &s->GW_SignalStrength.bitErrorRate) < 0) return 0;
    s->GW_SignalStrength.signalStrength = ExtendedScale(s->GW_SignalStrength.signalStrength);
    return 1;
}

// Reads the next integer into *out, or logs `missing` and leaves *out alone.
bool NextOrLog(char **cursor, int *out, const char *missing) {
    int value = 0;
    if (at_tok_nextint(cursor, &value) < 0) {
        RLOGD("%s", missing);
        return false;
    }
    *out = value;
    return true;
}

int ParseCsqlvl(char *line, RIL_SignalStrength_v6 *s) {
    char *cursor = line;
    if (at_tok_start(&cursor) < 0) RLOGD("start 1x err");
    int discard = 0;
    NextOrLog(&cursor, &discard, "RequestCdmaSignalStrength:rssi is empty !");
    NextOrLog(&cursor, &discard, "RequestCdmaSignalStrength:ber is empty !");
    // Only a level that was read is turned into the platform's positive dBm.
    if (NextOrLog(&cursor, &s->CDMA_SignalStrength.dbm, "RequestCdmaSignalStrength:CDMA_SignalStrength.dbm is empty !"))
        s->CDMA_SignalStrength.dbm = -s->CDMA_SignalStrength.dbm;
    NextOrLog(&cursor, &s->CDMA_SignalStrength.ecio, "RequestCdmaSignalStrength:CDMA_SignalStrength.ecio is empty !");
    return 1;
}

int ParseHdrCsqlvl(char *line, RIL_SignalStrength_v6 *s) {
    char *cursor = line;
    if (at_tok_start(&cursor) < 0) return 0;
    int discard = 0;
    NextOrLog(&cursor, &discard, "RequestCdmaSignalStrength:hdr_rssi is empty !");
    if (NextOrLog(&cursor, &s->EVDO_SignalStrength.dbm, "RequestCdmaSignalStrength:EVDO_SignalStrength.dbm is empty !"))
        s->EVDO_SignalStrength.dbm = -s->EVDO_SignalStrength.dbm;
    NextOrLog(&cursor, &s->EVDO_SignalStrength.ecio, "RequestCdmaSignalStrength:EVDO_SignalStrength.ecio is empty !");
    NextOrLog(&cursor, &s->EVDO_SignalStrength.signalNoiseRatio,
              "RequestCdmaSignalStrength:EVDO_SignalStrength.signalNoiseRatio is empty !");
    return 1;
}

int ParseCdmaRssi(char *line, RIL_SignalStrength_v6 *s, bool hdr) {
    char *cursor = line;
    if (at_tok_start(&cursor) < 0) RLOGD("UnsolicitedCdmaSignalStrength:at_tok_start error !");
    int v = 0;
    if (at_tok_nextint(&cursor, &v) < 0) return 0;
    (hdr ? s->EVDO_SignalStrength.dbm : s->CDMA_SignalStrength.dbm) = CdmaRssiToDbm(v);
    return 1;
}

int ParseSignalLine(char *line, RIL_SignalStrength_v6 *s, int *tdScdmaRscp) {
    if (strstr(line, "^HCSQ:")) return ParseHcsq(line, s, tdScdmaRscp);
    if (strstr(line, "+CSQ:")) return ParseCsqOrRssi(line, s, true);
    if (strstr(line, "^RSSI:")) return ParseCsqOrRssi(line, s, false);
    if (strStartsWith(line, "^CSQLVL:")) return ParseCsqlvl(line, s);
    if (strStartsWith(line, "^HDRCSQLVL:")) return ParseHdrCsqlvl(line, s);
    if (strStartsWith(line, "^CRSSI")) return ParseCdmaRssi(line, s, false);
    if (strStartsWith(line, "^HDRRSSI")) return ParseCdmaRssi(line, s, true);
    return 1;
}

int ParseSignalList(ATResponse **list, RIL_SignalStrength_v6 *s, int *tdScdmaRscp) {
    for (ATResponse **r = list; *r; ++r) {
        char *line = FirstLine(*r);
        if (!line) continue;
        if (ParseSignalLine(line, s, tdScdmaRscp) != 1) return 0;
    }
    return 1;
}

// The record a request or report starts from: the socket daemon's start in the v6 part, or
// all unknown for the 8-13 daemon.
ZvSignalStrength_v10 StartRecord(const RIL_SignalStrength_v6 &socketStart) {
    ZvSignalStrength_v10 record = zv::mm::UnknownSignalV10();
    if (!zv::HidlGeneration()) record.v6 = socketStart;
    return record;
}

size_t SentLength(size_t socketLength) {
    return zv::HidlGeneration() ? sizeof(ZvSignalStrength_v10) : socketLength;
}

// The socket generation parses through the network router, as it always has; the 8-13 one
// also takes the fields only its record has.
bool ParseSignal(int id, ATResponse **list, ZvSignalStrength_v10 *record) {
    if (zv::HidlGeneration()) return zv::mm::FillSignalV10(list, record);
    RilMessage message = {id, nullptr, &record->v6};
    return HandleNetworkMessage(&message, list) == 1;
}

// One report line, parsed on a stack copy and sent as `length` bytes of the record.
bool ReportSignalLine(const char *line, ZvSignalStrength_v10 record, size_t length) {
    char copy[kMaxSignalLine];
    zv::CopyBounded(copy, sizeof copy, line);
    ATLine wrapped = {nullptr, copy};
    ATResponse response = {1, nullptr, &wrapped};
    ATResponse *list[] = {&response, nullptr};
    if (!ParseSignal(RIL_UNSOL_SIGNAL_STRENGTH, list, &record)) return false;
    zv::ReportUnsolicited(RIL_UNSOL_SIGNAL_STRENGTH, &record, length);
    return true;
}

zv::ATResponsePtr SendSingleline(const char *command, const char *prefix, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command_singleline(command, prefix, &raw);
    return zv::ATResponsePtr(raw);
}

void RequestCdmaSignalStrength(zv::RequestCompletion &done) {
    ZvSignalStrength_v10 record = StartRecord(Filled(-1));
    int err1 = 0, err2 = 0;
    zv::ATResponsePtr level = SendSingleline("AT^CSQLVL", "^CSQLVL:", &err1);
    zv::ATResponsePtr hdr = SendSingleline("AT^HDRCSQLVL ", "^HDRCSQLVL:", &err2);
    bool ok = zv::Accepted(err1, level.get()) || zv::Accepted(err2, hdr.get());
    if (ok) {
        ATResponse *list[3] = {};
        size_t n = 0;
        if (level) list[n++] = level.get();
        if (hdr) list[n++] = hdr.get();
        ok = ParseSignal(RIL_REQUEST_SIGNAL_STRENGTH, list, &record);
    }
    if (!ok) {
        RLOGD("requestSignalStrength must never return an error when radio is on");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    done.Finish(RIL_E_SUCCESS, &record, SentLength(sizeof(RIL_SignalStrength_v5)));
}

}  // namespace

namespace zv::mm {

// The values the 8-13 daemon and the framework read as "not known". Its converter would turn
// an LTE -1 into these itself; a record that already says so leaves it nothing to rewrite.
ZvSignalStrength_v10 UnknownSignalV10() {
    ZvSignalStrength_v10 s;
    s.v6.GW_SignalStrength = {99, 99};
    s.v6.CDMA_SignalStrength = {-1, -1};
    s.v6.EVDO_SignalStrength = {-1, -1, -1};
    s.v6.LTE_SignalStrength = {99, INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    s.lteTimingAdvance = INT_MAX;
    s.tdScdmaRscp = INT_MAX;
    return s;
}

// The RSCP levels count dBm from -120 like the RSRP ones count from -140.
int SignalTdScdmaRscpToReal(int level) {
    if (level == 0) return 120;
    return level >= 1 && level <= 96 ? 121 - level : INT_MAX;
}

bool FillSignalV10(ATResponse **list, ZvSignalStrength_v10 *record) {
    return list && record && ParseSignalList(list, &record->v6, &record->tdScdmaRscp) == 1;
}

void RequestSignalStrength(RIL_Token t) {
    RequestCompletion done(t);
    if (Load(g_module_type) == 0) {
        RequestCdmaSignalStrength(done);
        return;
    }
    ZvSignalStrength_v10 record = StartRecord(Unknown3gpp());
    int err = 0;
    ATResponsePtr response = SendSingleline("AT^HCSQ?", "^HCSQ:", &err);
    if (!Accepted(err, response.get())) response = SendSingleline("AT+CSQ", "+CSQ:", &err);
    bool ok = Accepted(err, response.get());
    if (ok) {
        ATResponse *list[] = {response.get(), nullptr};
        ok = ParseSignal(RIL_REQUEST_SIGNAL_STRENGTH, list, &record);
    }
    if (!ok) {
        RLOGD("RequestSignalStrength must never return an error when radio is on");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    done.Finish(RIL_E_SUCCESS, &record, SentLength(sizeof(RIL_SignalStrength_v6)));
}

}  // namespace zv::mm

extern "C" {

int SignalWcdmaRssiToReal(int level) {
    int real;
    if (level <= 8) {
        real = 0;
    } else if (level <= 70) {
        real = level / 2 - 4;
    } else if (level <= 254) {
        real = 31;
    } else {
        real = 99;
    }
    RLOGD("SignalWcdmaRssiToReal the real rssi is %d ", real);
    return real;
}

int SignalLteRsrpToReal(int level) {
    int real = 140;
    if (level >= 1 && level <= 96) {
        real = 141 - level;
    } else if (level == 97 || level == 255) {
        real = 44;
    }
    RLOGD("SignalLteRsrpToReal the real rsrp is %d", real);
    return real;
}

int SignalLteRsrqToReal(int level) {
    int real = 20;
    if (level >= 0 && level <= 34) real = 20 - (level + 1) / 2;
    RLOGD("SignalLteRsrqToReal the real rsrq is %d", real);
    return real;
}

int GetSignalStrength(RilMessage *message, ATResponse **list) {
    if (!message) {
        RLOGD("GetSignalStrength: input p_message is NULL");
        return 0;
    }
    auto *record = static_cast<RIL_SignalStrength_v6 *>(message->data);
    if (!record || !list) return 0;
    return ParseSignalList(list, record, nullptr);
}

void UnsolicitedSignalStrength(const char *line) {
    if (!line) {
        RLOGD("UnsolicitedSignalStrength line is NULL!!");
        return;
    }
    const size_t length = zv::Load(ANDROID_VERSION) >= 2 ? sizeof(RIL_SignalStrength_v6) : sizeof(RIL_GW_SignalStrength);
    if (!ReportSignalLine(line, StartRecord(Unknown3gpp()), SentLength(length)))
        RLOGD("%s: Error parameter in ind msg: %s", "UnsolicitedSignalStrength", strStartsWith(line, "^HCSQ:") ? "^HCSQ:" : "^RSSI:");
}

void UnsolicitedCdmaSignalStrength(const char *line) {
    if (!line) {
        RLOGD("UnsolicitedCdmaSignalStrength line is NULL");
        return;
    }
    if (!ReportSignalLine(line, StartRecord(Filled(99)), SentLength(sizeof(RIL_SignalStrength_v5))))
        RLOGD("%s: Error parameter in ind msg: %s", "UnsolicitedCdmaSignalStrength",
              strStartsWith(line, "^CRSSI") ? "^CRSSI" : "^HDRRSSI");
}

}  // extern "C"
