// Device identities and versions: IMEI, IMEISV, baseband version, the device identity
// record for 3GPP and CDMA modules, the CDMA subscription, and the OEM string hook.
#include <stdint.h>

#include <vector>

#include <zvlog.h>
#include <zvplatform.h>
#include <zvril.h>
#include <zvshared.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"
#include "dev/dev.h"
#include "dev/dev_requests.h"
#include <zvrequest.h>

namespace {

// A raw AT line from the framework; the channel itself refuses control characters.
constexpr size_t kMaxOemCommandLength = 2048;
// The framework's array for an OEM answer stays bounded whatever the modem prints.
constexpr size_t kMaxOemLines = 255;

struct SingleLine {
    const char *command;
    const char *prefix;  // nullptr: a numeric command (the line starts with a digit)
};

int Send(const SingleLine &step, zv::ATResponsePtr *out) {
    ATResponse *raw = nullptr;
    int err = step.prefix ? at_send_command_singleline(step.command, step.prefix, &raw)
                          : at_send_command_numeric(step.command, &raw);
    out->reset(raw);
    return err;
}

}  // namespace

namespace zv::dev {

void RequestCdmaSubscription(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    static constexpr SingleLine kSteps[] = {
        {"AT^MDN", "^MDN:"}, {"AT^CURRSID", "^CURRSID:"}, {"AT+CIMI", nullptr}, {"AT^PRLVER?", "^PRLVER:"}};
    zv::ATResponsePtr responses[4];
    ATResponse *list[4] = {};
    bool ok = true;
    for (size_t i = 0; ok && i < 4; ++i) {
        int err = Send(kSteps[i], &responses[i]);
        ok = zv::Accepted(err, responses[i].get());
        list[i] = responses[i].get();
    }
    char *answer[5] = {};
    if (ok) {
        zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_CDMA_SUBSCRIPTION, nullptr, answer);
        ok = message && HandleDEVMessage(message.get(), list) == 1;
    }
    if (!ok) {
        RLOGD("requestCDMASubscription error");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    done.Finish(RIL_E_SUCCESS, answer, 5 * sizeof(char *));
}

void RequestDeviceIdentity(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    char *identity[4] = {};  // IMEI, IMEISV, ESN, MEID
    bool ok;
    zv::ATResponsePtr responses[2];
    if (zv::Load(g_module_type) != 0) {
        int err = Send({"AT+CGSN", nullptr}, &responses[0]);
        ok = zv::AcceptedWithLine(err, responses[0].get());
        if (ok) {
            // The modem has no command for the software version: both carry the serial number.
            identity[0] = responses[0]->p_intermediates->line;
            identity[1] = responses[0]->p_intermediates->line;
        }
    } else {
        int err = Send({"AT+GSN", "+GSN:"}, &responses[0]);
        ok = zv::Accepted(err, responses[0].get());
        if (ok) {
            err = Send({"AT^MEID", "^MEID:"}, &responses[1]);
            ok = zv::Accepted(err, responses[1].get());
        }
        if (ok) {
            ATResponse *list[2] = {responses[0].get(), responses[1].get()};
            zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_DEVICE_IDENTITY, nullptr, identity);
            ok = message && HandleDEVMessage(message.get(), list) == 1;
        }
    }
    if (!ok) {
        RLOGD("this is request Device Identity's fail\n");
        done.Finish(RIL_E_GENERIC_FAILURE);
        return;
    }
    RLOGD("this is request Device Identity's success\n");
    done.Finish(RIL_E_SUCCESS, identity, 4 * sizeof(char *));
}

}  // namespace zv::dev

extern "C" {

void RequestGetIMEI(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    zv::ATResponsePtr response;
    int err = Send({"AT+CGSN", nullptr}, &response);
    if (err == 0 && zv::AcceptedWithLine(err, response.get()))
        done.Finish(RIL_E_SUCCESS, response->p_intermediates->line, sizeof(char *));
}

void RequestGetIMEISV(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    zv::ATResponsePtr response;
    int err = Send({"AT^IMEISV?", "^IMEISV:"}, &response);
    if (err != 0 || !zv::Accepted(err, response.get())) return;
    char svn[3] = {};
    zv::MessagePtr message = zv::ObtainMessage(RIL_REQUEST_GET_IMEISV, nullptr, svn);
    if (message && HandleDEVMessage(message.get(), response.get()) == 1)
        done.Finish(RIL_E_SUCCESS, svn, sizeof(char *));
}

void RequestGetBasebandVersion(void * /*data*/, size_t /*datalen*/, RIL_Token t) {
    zv::RequestCompletion done(t);
    if (zv::Load(g_module_type) == 0) {
        // CDMA modules answer with a prefix; some do not, and get the plain form below.
        zv::ATResponsePtr response;
        int err = Send({"AT+CGMR", "+CGMR:"}, &response);
        if (err == 0 && zv::AcceptedWithLine(err, response.get())) {
            char *cursor = response->p_intermediates->line;
            if (at_tok_start(&cursor) == 0) done.Finish(RIL_E_SUCCESS, cursor, sizeof(char *));
            return;
        }
    }
    zv::ATResponsePtr response;
    int err = Send({"AT+CGMR", nullptr}, &response);
    if (zv::AcceptedWithLine(err, response.get()))
        done.Finish(RIL_E_SUCCESS, response->p_intermediates->line, sizeof(char *));
}

void RequestOemHookString(void *data, size_t datalen, RIL_Token t) {
    zv::RequestCompletion done(t);
    const char *const *args =
        zv::StringArgs(data, datalen, {1, SIZE_MAX / sizeof(char *), 1, kMaxOemCommandLength, false});
    if (!args) {
        RLOGD("RequestOemHookString: no usable command");
        return;
    }
    ATResponse *raw = nullptr;
    int err = at_send_command_oem_string(args[0], &raw);
    zv::ATResponsePtr response(raw);
    if (!zv::Accepted(err, response.get())) return;
    std::vector<char *> lines;
    for (ATLine *line = response->p_intermediates; line && lines.size() < kMaxOemLines; line = line->p_next)
        lines.push_back(line->line);
    if (response->finalResponse) lines.push_back(response->finalResponse);
    done.Finish(RIL_E_SUCCESS, lines.data(), lines.size() * sizeof(char *));
}

}  // extern "C"
