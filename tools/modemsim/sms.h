// modemsim: the network side of SMS: deliver a message, a status report or a cell broadcast to
// the simulated modem, which then indicates it the way its +CNMI settings ask: directly
// ("+CMT:", "+CDS:", "+CBM:" with the PDU on the next line) or stored and announced by index
// ("+CMTI:", "+CDSI:", "^HCMTI:"). A full store is announced with "^SMMEMFULL".
#ifndef ZORVIK_TOOLS_MODEMSIM_SMS_H
#define ZORVIK_TOOLS_MODEMSIM_SMS_H

#include <modemsim/modemsim.h>

#include <string>

namespace modemsim {

// A GSM SMS-DELIVER (SMSC part and TPDU, hex). Returns the store index, or -1 when it was
// delivered directly or dropped because the store is full.
int DeliverSms(Modem &m, const std::string &pdu);
// A CDMA message (transport-layer PDU, hex), always stored; announced with "+CMTI:", or with
// "^HCMTI:" when it came over IMS. Returns the store index or -1.
int DeliverCdmaSms(Modem &m, const std::string &pdu, bool over_ims = false);
// A GSM SMS-STATUS-REPORT: "+CDS:" when <ds> is 1, stored and "+CDSI:" when it is 2.
int DeliverStatusReport(Modem &m, const std::string &pdu);
// A cell broadcast page (88 octets, hex): relayed as "+CBM:" when <bm> is not 0 and the message
// identifier is one AT+CSCB accepts. Returns true when it was relayed.
bool BroadcastCell(Modem &m, const std::string &pdu);

// Puts a message into the SIM store as the network or a previous session left it.
int StoreSms(Modem &m, const StoredSms &sms);

// Called by the default PDU answer for AT+CMGW= and AT^HCMGW=: stores the written message and
// returns its index, or -1 when the store is full.
int StoreWrittenPdu(ModelState &s, const std::string &command, const std::string &pdu);

}  // namespace modemsim

#endif
