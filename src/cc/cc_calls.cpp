// The call requests: the call list, dial, the hang-ups and hold/switch/conference commands,
// DTMF (single tones, and bursts on CDMA), flash and separation of a conference member.
//
// Strings from the framework go into commands only when they are dial strings: anything else
// could close the command and start another one, so it is refused before anything is sent.
#include <stddef.h>
#include <string.h>

#include <string>
#include <vector>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvrequest.h>
#include <zvshared.h>
#include <zvstr.h>

#include "cc/cc.h"

namespace {

// Half a second between prompts while a call is still being set up or rings.
constexpr long kRepeatDelayUsec = 500000;
// On and off lengths of a DTMF burst, in milliseconds as digits.
constexpr size_t kMaxToneLength = 5;

bool IsCdma() { return zv::Load(g_module_type) == 0; }

bool ReadyRadioState(int state) {
    return state == ZV_RADIO_STATE_SIM_READY || state == ZV_RADIO_STATE_RUIM_READY || state == ZV_RADIO_STATE_NV_READY;
}

int Send(const char *command, zv::ATResponsePtr *out) {
    ATResponse *raw = nullptr;
    int err = at_send_command(command, &raw);
    out->reset(raw);
    return err;
}

bool IsToneLength(const char *s) {
    if (!s || *s == '\0') return false;
    size_t n = 0;
    for (; s[n]; ++n) {
        if (n >= kMaxToneLength || s[n] < '0' || s[n] > '9') return false;
    }
    return true;
}

}  // namespace

extern "C" void RequestGetCurrentCalls(RIL_Token t) {
    zv::RequestCompletion done(t);
    ATResponse *raw = nullptr;
    int err = at_send_command_multiline("AT+CLCC", "+CLCC:", &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) {
        RLOGD("get current call error!\n");
        return;
    }
    size_t lines = 0;
    for (ATLine *l = response->p_intermediates; l && lines < zv::cc::kMaxRows; l = l->p_next) ++lines;
    std::vector<RIL_Call> calls(lines);
    for (RIL_Call &call : calls) call.index = -1;
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_GET_CURRENT_CALLS, nullptr, calls.data());
    if (HandleVoiceMessage(message.get(), response.get()) != 1) {
        RLOGD("get current call error!\n");
        return;
    }
    std::vector<RIL_Call *> list;
    bool transient = false;
    for (RIL_Call &call : calls) {
        if (call.index == -1) continue;
        list.push_back(&call);
        transient = transient || call.state >= RIL_CALL_DIALING;
    }
    done.Finish(RIL_E_SUCCESS, list.empty() ? nullptr : list.data(), list.size() * sizeof(RIL_Call *));
    // The modem does not announce every step of a call being set up: keep the framework asking.
    if (transient) zv::ScheduleCallback(RepeatCallStateChanged, nullptr, 0, kRepeatDelayUsec);
}

namespace zv::cc {

void RequestDial(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    // Platforms without user-to-user signalling hand the record over without its last member.
    const auto *dial = static_cast<const RIL_Dial *>(data);
    if (!dial || datalen < offsetof(RIL_Dial, uusInfo)) {
        RLOGD("RequestDial: no dial record");
        return;
    }
    if (!IsDialString(dial->address)) {
        RLOGD("RequestDial: address refused");
        return;
    }
    std::string command;
    if (IsCdma()) {
        command = zv::Format("AT+CDV%s", dial->address);
    } else {
        const char *clir = dial->clir == 1 ? "I" : dial->clir == 2 ? "i" : "";
        command = zv::Format("ATD%s%s;", dial->address, clir);
    }
    zv::ATResponsePtr response;
    if (Send(command.c_str(), &response) < 0) {
        RLOGD("RequestDial at_send_command FAIL!!");
        return;
    }
    // The call's fate arrives as call events; a modem that refuses the dial ends it there.
    done.Finish(RIL_E_SUCCESS);
}

void RequestSimpleCallCommand(int request, RIL_Token t) {
    zv::RequestCompletion done(t);
    const SimpleCommand *row = FindSimpleCommand(request);
    if (!row) return;
    const char *command = row->gsm;
    if (IsCdma()) {
        command = row->cdma;
    } else if (row->gsmNotReady && !ReadyRadioState(zv::LoadAcquire(sState))) {
        command = row->gsmNotReady;
    }
    zv::ATResponsePtr response;
    int err = Send(command, &response);
    if (err < 0 && row->failLog) RLOGD("%s", row->failLog);
    bool ok = row->outcome == Outcome::kHandedOver || zv::Accepted(err, response.get());
    done.Finish(ok ? RIL_E_SUCCESS : RIL_E_GENERIC_FAILURE);
}

void RequestDtmf(void *data, RIL_Token t) {
    zv::RequestCompletion done(t);
    const char *digits = static_cast<const char *>(data);
    if (!IsDialString(digits)) {
        RLOGD("RequestDtmf: tone refused");
        return;
    }
    const char tone = digits[0];
    // Tones can spell a code typed into a voice service: the log shows that one was sent.
    RLOGD("request dtmf >> char=%c", '*');
    zv::CheckedText command = zv::FormatOrNull("AT^DTMF=%d,%c", zv::Load(cc_activeCallIndex), tone);
    if (!command) {
        RLOGD("RequestDtmf FAIL!!!");
        return;
    }
    zv::ATResponsePtr response;
    int err = Send(command.get(), &response);
    bool ok = zv::Accepted(err, response.get());
    if (!ok) {
        RLOGD("request dtmf >> char=%c", '*');
        command = zv::FormatOrNull("AT+VTS=%c", tone);
        if (!command) {
            RLOGD("RequestDtmf FAIL!!!");
            return;
        }
        err = Send(command.get(), &response);
        ok = zv::Accepted(err, response.get());
    }
    done.Finish(ok ? RIL_E_SUCCESS : RIL_E_GENERIC_FAILURE);
}

void RequestSeparateConnection(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < sizeof(int)) return;
    const int index = *static_cast<const int *>(data);
    // "AT+CHLD=2<x>" addresses one call by a single digit.
    if (index < 1 || index > 9) {
        RLOGD("RequestSeparateConnection: no such call");
        return;
    }
    zv::ATResponsePtr response;
    Send(zv::Format("AT+CHLD=2%d", index).c_str(), &response);
    done.Finish(RIL_E_SUCCESS);
}

void RequestCdmaFlash(void *data, RIL_Token t) {
    zv::RequestCompletion done(t);
    // Without digits the flash only answers a waiting call or starts a three-way one.
    const char *flash = zv::EmptyIfNull(static_cast<const char *>(data));
    if (!flash) return;
    if (*flash != '\0' && !IsDialString(flash)) {
        RLOGD("RequestCdmaFlash: string refused");
        return;
    }
    zv::CheckedText command =
        *flash == '\0' ? zv::FormatOrNull("AT^HFLASH") : zv::FormatOrNull("%s=%s", "AT^HFLASH", flash);
    if (!command) {
        RLOGD("RequestCdmaFlash FAIL!!");
        return;
    }
    zv::ATResponsePtr response;
    int err = Send(command.get(), &response);
    done.Finish(zv::Accepted(err, response.get()) ? RIL_E_SUCCESS : RIL_E_GENERIC_FAILURE);
}

void RequestCdmaBurstDtmf(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (!data || datalen < 3 * sizeof(char *)) return;
    const char *const *args = static_cast<const char *const *>(data);
    if (!IsDialString(args[0]) || !IsToneLength(args[1]) || !IsToneLength(args[2])) {
        RLOGD("RequestCdmaDtmf: burst refused");
        return;
    }
    // A zero length means "the network's default"; the modem wants a number.
    auto length = [](const char *s) { return strcmp(s, "0") == 0 ? "150" : s; };
    zv::CheckedText command =
        zv::FormatOrNull("AT^DTMF=%d,%s,%s,%s", zv::Load(cc_activeCallIndex), args[0], length(args[1]), length(args[2]));
    if (!command) {
        RLOGD("RequestCdmaDtmf FAIL!!!");
        return;
    }
    zv::ATResponsePtr response;
    Send(command.get(), &response);
    done.Finish(RIL_E_SUCCESS);
}

}  // namespace zv::cc
