/*
 * The library's own threads all run detached: nothing joins them, each ends by itself (or lives
 * for the process). One place creates them so every caller sees the same failure value.
 */
#ifndef ZORVIK_ZVTHREAD_H
#define ZORVIK_ZVTHREAD_H

namespace zv {

// Starts body(arg) on a detached thread; 0, or the error pthread_create returned.
int StartDetachedThread(void *(*body)(void *), void *arg);

}  // namespace zv

#endif
