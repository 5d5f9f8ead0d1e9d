// The daemon's own requestToString, as the platform's radio library exports it (C linkage). The
// library never calls it; the host's programs that stand in for the daemon may.
#include <zorvik/request_names.h>

extern "C" __attribute__((visibility("default"))) const char *requestToString(int request) {
    return zv::RequestName(request);
}
