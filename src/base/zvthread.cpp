#include "zvthread.h"

#include <pthread.h>

namespace zv {

int StartDetachedThread(void *(*body)(void *), void *arg) {
    pthread_attr_t attr;
    int err = pthread_attr_init(&attr);
    if (err != 0) return err;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    err = pthread_create(&thread, &attr, body, arg);
    pthread_attr_destroy(&attr);
    return err;
}

}  // namespace zv
