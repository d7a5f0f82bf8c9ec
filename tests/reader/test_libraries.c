/* Small reader libraries for the binding tests: one that answers, ones that
 * lack an entry point, one that writes past the reply buffer, one that needs
 * another DLL. */
#include <string.h>

#define TQR_IMPLEMENTATION
#include "tqr_api.h"

#if defined(TQR_WITH_FIND)
int16_t TQR_CALL tqr_device_find(void) { return 7; }
#endif

#if defined(TQR_DEPENDENCY)
__declspec(dllexport) int tqr_test_dependency(void) { return 7; }
#elif defined(TQR_NEEDS_DEPENDENCY)
/* From a DLL it does not bring: it will not load where that one is not found. */
__declspec(dllimport) int tqr_test_dependency(void);
int16_t TQR_CALL tqr_device_find(void) { return (int16_t)tqr_test_dependency(); }
#endif

#if defined(TQR_WITH_TRANSCEIVE)
int16_t TQR_CALL tqr_data_transceive_ex(const char *send, char *receive) {
#if defined(TQR_OVERRUN)
  (void)send;
  memset(receive, '4', 40 + 1 + 100); /* no NUL, and 101 bytes too many */
#else
  strcpy(receive, "41");
  strncat(receive, send, 36);
#endif
  return 0;
}
#endif

