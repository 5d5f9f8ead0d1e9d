// Signal strength: the request in its 3GPP and CDMA forms, the one parser over every line form
// the modules give, the ^HCSQ level converters, and the two unsolicited reports. A report is
// handled on the reader thread without touching the heap: the line copy, the response wrapper,
// the message and the record all live on the stack.
#include <string.h>

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

int ParseHcsq(char *line, RIL_SignalStrength_v6 *s) {
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

int ParseSignalLine(char *line, RIL_SignalStrength_v6 *s) {
    if (strstr(line, "^HCSQ:")) return ParseHcsq(line, s);
    if (strstr(line, "+CSQ:")) return ParseCsqOrRssi(line, s, true);
    if (strstr(line, "^RSSI:")) return ParseCsqOrRssi(line, s, false);
    if (strStartsWith(line, "^CSQLVL:")) return ParseCsqlvl(line, s);
    if (strStartsWith(line, "^HDRCSQLVL:")) return ParseHdrCsqlvl(line, s);
    if (strStartsWith(line, "^CRSSI")) return ParseCdmaRssi(line, s, false);
    if (strStartsWith(line, "^HDRRSSI")) return ParseCdmaRssi(line, s, true);
    return 1;
}

// One report line, parsed on a stack copy and sent as `length` bytes of the record.
bool ReportSignalLine(const char *line, RIL_SignalStrength_v6 record, size_t length) {
    char copy[kMaxSignalLine];
    zv::CopyBounded(copy, sizeof copy, line);
    ATLine wrapped = {nullptr, copy};
    ATResponse response = {1, nullptr, &wrapped};
    ATResponse *list[] = {&response, nullptr};
    RilMessage message = {RIL_UNSOL_SIGNAL_STRENGTH, nullptr, &record};
    if (HandleNetworkMessage(&message, list) != 1) return false;
    zv::ReportUnsolicited(RIL_UNSOL_SIGNAL_STRENGTH, &record, length);
    return true;
}

zv::ATResponsePtr SendSingleline(const char *command, const char *prefix, int *err) {
    ATResponse *raw = nullptr;
    *err = at_send_command_singleline(command, prefix, &raw);
    return zv::ATResponsePtr(raw);
}

void RequestCdmaSignalStrength(zv::RequestCompletion &done) {
    RIL_SignalStrength_v6 record = Filled(-1);
    int err1 = 0, err2 = 0;
    zv::ATResponsePtr level = SendSingleline("AT^CSQLVL", "^CSQLVL:", &err1);
    zv::ATResponsePtr hdr = SendSingleline("AT^HDRCSQLVL ", "^HDRCSQLVL:", &err2);
    bool ok = zv::Accepted(err1, level.get()) || zv::Accepted(err2, hdr.get());
    if (ok) {
        ATResponse *list[3] = {};
        size_t n = 0;
        if (level) list[n++] = level.get();
        if (hdr) list[n++] = hdr.get();
        zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_SIGNAL_STRENGTH, nullptr, &record);
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD("requestSignalStrength must never return an error when radio is on");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    done.Finish(RIL_E_SUCCESS, &record, sizeof(RIL_SignalStrength_v5));
}

}  // namespace

namespace zv::mm {

void RequestSignalStrength(RIL_Token t) {
    RequestCompletion done(t);
    if (Load(g_module_type) == 0) {
        RequestCdmaSignalStrength(done);
        return;
    }
    RIL_SignalStrength_v6 record = Unknown3gpp();
    int err = 0;
    ATResponsePtr response = SendSingleline("AT^HCSQ?", "^HCSQ:", &err);
    if (!Accepted(err, response.get())) response = SendSingleline("AT+CSQ", "+CSQ:", &err);
    bool ok = Accepted(err, response.get());
    if (ok) {
        MessagePtr message = ObtainMessage(RIL_REQUEST_SIGNAL_STRENGTH, nullptr, &record);
        ATResponse *list[] = {response.get(), nullptr};
        ok = message && HandleNetworkMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD("RequestSignalStrength must never return an error when radio is on");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    done.Finish(RIL_E_SUCCESS, &record, sizeof record);
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
    for (ATResponse **r = list; *r; ++r) {
        char *line = FirstLine(*r);
        if (!line) continue;
        if (ParseSignalLine(line, record) != 1) return 0;
    }
    return 1;
}

void UnsolicitedSignalStrength(const char *line) {
    if (!line) {
        RLOGD("UnsolicitedSignalStrength line is NULL!!");
        return;
    }
    const size_t length = zv::Load(ANDROID_VERSION) >= 2 ? sizeof(RIL_SignalStrength_v6) : sizeof(RIL_GW_SignalStrength);
    if (!ReportSignalLine(line, Unknown3gpp(), length))
        RLOGD("%s: Error parameter in ind msg: %s", "UnsolicitedSignalStrength", strStartsWith(line, "^HCSQ:") ? "^HCSQ:" : "^RSSI:");
}

void UnsolicitedCdmaSignalStrength(const char *line) {
    if (!line) {
        RLOGD("UnsolicitedCdmaSignalStrength line is NULL");
        return;
    }
    if (!ReportSignalLine(line, Filled(99), sizeof(RIL_SignalStrength_v5)))
        RLOGD("%s: Error parameter in ind msg: %s", "UnsolicitedCdmaSignalStrength",
              strStartsWith(line, "^CRSSI") ? "^CRSSI" : "^HDRRSSI");
}

}  // extern "C"
