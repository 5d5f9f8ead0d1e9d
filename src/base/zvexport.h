/*
 * The export macro: a name marked ZV_API has C linkage and default visibility, so it reaches
 * the embedder unmangled; everything else stays inside the library (-fvisibility=hidden).
 * The exported interface header repeats the same definition so that it stands alone.
 */
#ifndef ZORVIK_ZVEXPORT_H
#define ZORVIK_ZVEXPORT_H

#ifndef ZV_API
#ifdef __cplusplus
#define ZV_EXTERN_C extern "C"
#else
#define ZV_EXTERN_C extern
#endif
#define ZV_API ZV_EXTERN_C __attribute__((visibility("default")))
#endif

#endif
