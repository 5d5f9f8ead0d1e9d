/* Just enough of a C library for compiling telephony/ril.h for a 32-bit target. */
#include <stddef.h>
