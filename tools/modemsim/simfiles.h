// modemsim: the SIM file system and toolkit contents, as free functions so that tests can
// build the answers they expect (GET RESPONSE in either form, proactive commands, terminal
// responses and envelopes of a session).
#ifndef ZORVIK_TOOLS_MODEMSIM_SIMFILES_H
#define ZORVIK_TOOLS_MODEMSIM_SIMFILES_H

#include <modemsim/modemsim.h>

#include <string>

namespace modemsim::simfiles {

// File identifiers of the default card.
constexpr int kEfIccid = 0x2FE2;
constexpr int kEfImsi = 0x6F07;
constexpr int kEfSpn = 0x6F46;
constexpr int kEfAd = 0x6FAD;
constexpr int kEfMsisdn = 0x6F40;
constexpr int kEfAdn = 0x6F3A;

// Types of command (TS 102 223) in the toolkit session.
constexpr int kSetUpMenu = 0x25;
constexpr int kDisplayText = 0x21;
constexpr int kSendUssd = 0x12;

std::string HexOfText(const std::string &ascii);
// tag, length (one byte, or "81" and one byte from 128 on) and value, all hex.
std::string Tlv(const std::string &tag, const std::string &value);
int FileSize(const SimFile &file);
// GET RESPONSE of an EF in the TS 51.011 layout (15 bytes) and as a USIM's FCP.
std::string GsmGetResponse(int fid, const SimFile &file);
std::string UsimFcp(int fid, const SimFile &file);

// The session: the card's menu, the text it shows once an item is chosen, and the USSD it
// then sends (long enough for the two-byte length form).
std::string ProactiveCommand(int number, int type, int qualifier, const std::string &body);
std::string SetUpMenuCommand();
std::string DisplayTextCommand();
std::string SendUssdCommand();
std::string MenuSelectionEnvelope(int item);
std::string TerminalResponse(int number, int type, int qualifier);

// Answers AT+CRSM and the toolkit commands of the modem's dialect (features.h).
bool Answer(Modem &m, const std::string &command, Modem::Lines *lines);

}  // namespace modemsim::simfiles

#endif
