/* Just enough of a C library for compiling telephony/ril.h for a 32-bit target. */
struct timeval {
    long tv_sec;
    long tv_usec;
};
