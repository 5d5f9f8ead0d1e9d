/*
 * What the PPP data path's files and tests share inside the library (not exported).
 */
#ifndef ZORVIK_PS_PPP_INTERNAL_H
#define ZORVIK_PS_PPP_INTERNAL_H

#include <string>
#include <vector>

namespace zv::ps {

/* The pppd argument vector for the module type (0 CDMA, otherwise 3GPP), the MODEM tty, the
   authentication options (split at blanks: they are the library's own) and the credentials,
   each of which stays one argument whatever it holds. */
std::vector<std::string> PppdArguments(int moduleType, const std::string &tty, const char *options, const char *user,
                                       const char *password);

/* A process name that may stand in a shell command line: letters, digits, '_', '-', '.'. */
bool SafeProcessName(const char *name);

}  // namespace zv::ps

#endif
