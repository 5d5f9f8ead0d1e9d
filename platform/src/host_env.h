// Internal to the platform stand-ins: what the log and property store need of the environment.
#ifndef ZORVIK_PLATFORM_SRC_HOST_ENV_H
#define ZORVIK_PLATFORM_SRC_HOST_ENV_H

#include <string>

namespace zv {
std::string HostLogFile();
std::string HostPropertyDir();
void ReopenLogTarget();
}  // namespace zv

#endif
