// modemsim: driving the simulated network from a test. Each function changes the network model
// and, where a real modem would say so by itself, sends the report it would send (subject to
// the report settings the host chose: +CREG/+CGREG <n>, ^CURC).
#ifndef ZORVIK_TOOLS_MODEMSIM_NETWORK_H
#define ZORVIK_TOOLS_MODEMSIM_NETWORK_H

#include <modemsim/modemsim.h>

#include <string>
#include <vector>

namespace modemsim {

// Registration in both domains (TS 27.007 <stat>) and the cell; reports "+CREG:"/"+CGREG:".
void SetRegistration(Modem &m, int stat, int lac = 0x2540, int ci = 0x0A3B);
// Moves to another technology: reports "^MODE: <sys_mode>,<sys_submode>" (with ^CURC on).
void HandOver(Modem &m, Tech tech);
// A new +CSQ-scale level (0..31, 99): reports it as "^HCSQ:" where the module has it, else
// "^RSSI:" (CDMA modules: "^CRSSI:").
void SetSignal(Modem &m, int rssi);
void SetOperator(Modem &m, const std::string &long_name, const std::string &short_name, const std::string &numeric);
void SetScanList(Modem &m, std::vector<ScanEntry> entries);
// An automatic selection finds its operator only on the (polls + 1)-th AT+COPS?.
void SetSelectionPolls(Modem &m, int polls);
// Manual and automatic selection commands answer only after ms.
void SetSelectionDelay(Modem &m, int ms);
// A module that does not know ^SYSCFGEX and answers it with ERROR.
void RefuseSyscfgex(Modem &m, bool refuse = true);
// "^NWTIME: <text>" as the network sends its time.
void SendNetworkTime(Modem &m, const std::string &text);

// The lines the modem would answer now (for tests of the model itself).
std::string SysinfoLine(const Modem &m);
std::string HcsqLine(const Modem &m);

}  // namespace modemsim

#endif
