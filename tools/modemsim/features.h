// modemsim: the features of the simulated modem beyond the basic table, one file each. The
// default answer asks them in this order before its own rows, so a feature may also take over
// a command of the basic table. Each returns false for a command that is not its own.
#ifndef ZORVIK_TOOLS_MODEMSIM_FEATURES_H
#define ZORVIK_TOOLS_MODEMSIM_FEATURES_H

#include <modemsim/modemsim.h>

#include <string>

namespace modemsim {

bool CallAnswer(Modem &m, const std::string &command, Modem::Lines *lines);      // calls.cpp
bool NetworkAnswer(Modem &m, const std::string &command, Modem::Lines *lines);   // network.cpp
bool SmsAnswer(Modem &m, const std::string &command, Modem::Lines *lines);       // sms.cpp
bool SimFilesAnswer(Modem &m, const std::string &command, Modem::Lines *lines);  // simfiles.cpp
bool DataAnswer(Modem &m, const std::string &command, Modem::Lines *lines);      // data.cpp
// The MODEM port's answer to one command line (data_port.h); false: "ERROR".       // data.cpp
bool ModemPortAnswer(Modem &m, const std::string &command, Modem::Lines *lines);
// A network drop of the NDIS call: the model forgets the call and the modem reports it.
void DropDataCall(Modem &m, int cause);                                          // data.cpp
// Final result for a command that needs a usable SIM, or "" when the SIM is ready (defaults.cpp).
const char *SimError(const ModelState &s);
bool BandAnswer(Modem &m, const std::string &command, Modem::Lines *lines);      // band.cpp

}  // namespace modemsim

#endif
