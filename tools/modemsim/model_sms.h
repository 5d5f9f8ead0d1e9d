// modemsim: Message store and delivery: SM/ME stores, +CNMI routing, cell broadcast settings.
// Plain data held in ModelState under the modem's lock; the answers live in sms.cpp.
#ifndef ZORVIK_TOOLS_MODEMSIM_MODEL_SMS_H
#define ZORVIK_TOOLS_MODEMSIM_MODEL_SMS_H

namespace modemsim {

struct SmsModel {};

}  // namespace modemsim

#endif
