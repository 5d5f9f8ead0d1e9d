#ifndef ZORVIK_PLATFORM_LOG_LOG_H
#define ZORVIK_PLATFORM_LOG_LOG_H
#include <android/log.h>
#endif
