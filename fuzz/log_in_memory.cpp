// Linked into every fuzz target: the library logs each line it parses, and at millions of runs
// a written log would cost more time than the parsing and fill the disk. The lines are still
// masked and formatted in full, so a fault there is found as anywhere else.
#include <zorvik/host.h>

namespace {
const bool kInMemory = [] {
    zv::KeepLogInMemory(true);
    return true;
}();
}  // namespace
