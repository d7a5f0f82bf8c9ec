/* The reader library's C interface: every reader library we load, ours or
 * another, offers exactly these two calls. */
#ifndef TQR_API_H
#define TQR_API_H

#include <stdint.h>

#if defined(_WIN32)
#define TQR_CALL __stdcall
#else
#define TQR_CALL
#endif

#if defined(_WIN32)
/* Our DLLs export through reader/tqr_32.def: the plain names, not the
 * decorated _name@N that __declspec(dllexport) gives a __stdcall call. */
#define TQR_EXPORT
#else
#define TQR_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Non-zero when a reader is attached. */
typedef int16_t(TQR_CALL *tqr_device_find_fn)(void);
/* Sends one NUL-terminated frame text; writes at most 40 reply characters
 * into receive. Callers go by the reply alone and never examine the return
 * value; ours return 0, 1 or -1 (docs/reader-libraries.md). */
typedef int16_t(TQR_CALL *tqr_data_transceive_ex_fn)(const char *send, char *receive);

/* Exported by our simulated reader library only, so that a program can say
 * that no real reader is behind the two calls. Never called. */
#define TQR_SIMULATED_MARK "tqr_simulated_reader"

#ifdef TQR_IMPLEMENTATION
TQR_EXPORT int16_t TQR_CALL tqr_device_find(void);
TQR_EXPORT int16_t TQR_CALL tqr_data_transceive_ex(const char *send, char *receive);
TQR_EXPORT int16_t TQR_CALL tqr_simulated_reader(void);
#endif

#ifdef __cplusplus
}
#endif

#endif
