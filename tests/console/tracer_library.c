/* A reader library that leaves a mark when it is loaded or called, so that a
 * test can tell whether a process touched the reader at all. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define TQR_IMPLEMENTATION
#include "tqr_api.h"

static void Mark(const char *what) {
  const char *path = getenv("RFID_TRACE_FILE");
  if (!path) return;
  FILE *f = fopen(path, "a");
  if (!f) return;
  fprintf(f, "%s\n", what);
  fclose(f);
}

__attribute__((constructor)) static void Loaded(void) { Mark("loaded"); }

int16_t TQR_CALL tqr_device_find(void) {
  Mark("device_find");
  return 1;
}

int16_t TQR_CALL tqr_data_transceive_ex(const char *send, char *receive) {
  Mark(send);
  (void)receive; /* no reply: every exchange fails */
  return 0;
}
