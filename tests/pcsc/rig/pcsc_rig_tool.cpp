// Starts the rig by hand: pcscd with vpcd's readers and one virtual card on
// the first, for trying programs against the PC/SC reader library.
#include <iostream>
#include <string>

#include "pcsc_rig.h"
#include "virtual_card.h"

using namespace rfid::pcsc::rig;

namespace {
int Usage() {
  std::cerr << "usage: pcsc-rig [classic|classic4k|ultralight|ntag215|iso15693]\n"
               "Starts pcscd with vpcd's virtual readers and puts the card on \""
            << kReader0
            << "\".\nCommands on standard input: insert, remove, mute, unmute, dump, quit.\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc > 1 ? argv[1] : "classic";
  CardType type;
  if (argc > 2) return Usage();
  if (kind == "classic") type = CardType::Classic1K;
  else if (kind == "classic4k") type = CardType::Classic4K;
  else if (kind == "ultralight") type = CardType::Ultralight;
  else if (kind == "ntag215") type = CardType::Ntag215;
  else if (kind == "iso15693") type = CardType::Iso15693;
  else return Usage();
  if (auto why = RigMissing()) {
    std::cerr << "pcsc-rig: " << *why << "\n";
    return 1;
  }
  try {
    PcscRig rig;
    VirtualCard card(type);
    card.Insert();
    if (!rig.WaitForCard(kReader0, true)) throw std::runtime_error("the card did not show");
    std::cout << "pcscd PID " << rig.Pid() << "; \"" << kReader0 << "\" holds the " << kind
              << " card" << std::endl;
    for (std::string line; std::cout << "> " << std::flush, std::getline(std::cin, line);) {
      if (line == "quit") break;
      if (line == "insert") {
        if (!card.Inserted()) card.Insert();
        std::cout << (rig.WaitForCard(kReader0, true) ? "inserted" : "not seen") << "\n";
      } else if (line == "remove") {
        card.Remove();
        std::cout << (rig.WaitForCard(kReader0, false) ? "removed" : "still seen") << "\n";
      } else if (line == "mute" || line == "unmute") {
        card.SetMute(line == "mute");
      } else if (line == "dump") {
        const Bytes memory = card.With([](CardModel& m) { return m.Read(0, m.Size()); });
        for (std::size_t i = 0; i < memory.size(); i += 16) {
          std::printf("%02zX:", i / 16);
          for (std::size_t j = i; j < i + 16 && j < memory.size(); ++j) std::printf(" %02X", memory[j]);
          std::printf("\n");
        }
      } else if (!line.empty()) {
        std::cout << "commands: insert, remove, mute, unmute, dump, quit\n";
      }
    }
    card.Remove();
  } catch (const std::exception& e) {
    std::cerr << "pcsc-rig: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
