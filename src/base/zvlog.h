/* The library's one logging helper: tag "RIL", debug priority (one PPP line uses warning). */
#ifndef ZORVIK_ZVLOG_H
#define ZORVIK_ZVLOG_H

#include <android/log.h>

// Request names in log lines come from the library's own table (zv::RequestName).
#include <zorvik/request_names.h>

#define ZV_LOG_TAG "RIL"
#define RLOGD(...) __android_log_print(ANDROID_LOG_DEBUG, ZV_LOG_TAG, __VA_ARGS__)
#define RLOGW(...) __android_log_print(ANDROID_LOG_WARN, ZV_LOG_TAG, __VA_ARGS__)

#endif
