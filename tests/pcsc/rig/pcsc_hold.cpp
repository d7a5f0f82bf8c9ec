// Another program that holds a reader: connected exclusively, or in a
// transaction on the card, for a while or until its standard input closes.
// Prints "held" once the hold is in place.
#include <winscard.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[2], "exclusive") != 0 && std::strcmp(argv[2], "transaction") != 0)) {
    std::fprintf(stderr, "usage: pcsc-hold READER exclusive|transaction MILLISECONDS (0: until stdin closes)\n");
    return 2;
  }
  const bool exclusive = std::strcmp(argv[2], "exclusive") == 0;
  const long ms = std::strtol(argv[3], nullptr, 10);
  SCARDCONTEXT context;
  LONG rv = SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context);
  if (rv != SCARD_S_SUCCESS) {
    std::fprintf(stderr, "pcsc-hold: %s\n", pcsc_stringify_error(rv));
    return 1;
  }
  SCARDHANDLE card;
  DWORD protocol;
  rv = SCardConnect(context, argv[1], exclusive ? SCARD_SHARE_EXCLUSIVE : SCARD_SHARE_SHARED,
                    SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
  if (rv == SCARD_S_SUCCESS && !exclusive) rv = SCardBeginTransaction(card);
  if (rv != SCARD_S_SUCCESS) {
    std::fprintf(stderr, "pcsc-hold: %s\n", pcsc_stringify_error(rv));
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  if (ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  } else {
    while (std::getchar() != EOF) {
    }
  }
  if (!exclusive) SCardEndTransaction(card, SCARD_LEAVE_CARD);
  SCardDisconnect(card, SCARD_LEAVE_CARD);
  SCardReleaseContext(context);
  return 0;
}
