// The modem's radio power as it reports it ("+CFUN: 0|1").
#include <zvlog.h>
#include <zvril.h>

#include "atchannel/at_tok.h"
#include "atchannel/atchannel.h"

extern "C" int GetRadioStatus(void) {
    ATResponse *raw = nullptr;
    int err = at_send_command_singleline("AT+CFUN?", "+CFUN:", &raw);
    zv::ATResponsePtr response(raw);
    if (err < 0 || !response || !response->success || !response->p_intermediates) return -1;
    char *cursor = response->p_intermediates->line;
    char on = 0;
    // Any value but 0 or 1 (such as 4, radio off for flight mode) does not count.
    if (at_tok_start(&cursor) < 0 || at_tok_nextbool(&cursor, &on) < 0) return -1;
    RLOGD("GetRadioStatus:%d", on);
    return on;
}
