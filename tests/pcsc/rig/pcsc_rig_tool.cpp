// Starts the rig by hand: pcscd with vpcd's readers and one virtual card on
// the first, for trying programs against the PC/SC reader library. Or, with
// "serve", the rig service: it starts and stops pcscd and the holding
// program for a Windows test under Wine (pcsc_rig.h).
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "pcsc_rig.h"
#include "virtual_card.h"

using namespace rfid::pcsc::rig;

namespace {
int Usage() {
  std::cerr << "usage: pcsc-rig [classic|classic4k|ultralight|ntag215|iso15693]\n"
               "       pcsc-rig serve (the rig service on port "
            << kRigServicePort << ")\n"
               "Starts pcscd with vpcd's virtual readers and puts the card on \""
            << kReader0
            << "\".\nCommands on standard input: insert, remove, mute, unmute, dump, quit.\n";
  return 2;
}
// What one test process has of the rig; dropped when its line ends.
struct Served {
  std::unique_ptr<PcscRig> rig;
  std::unique_ptr<OtherProgram> other;

  void End() {
    other.reset();  // before pcscd goes
    rig.reset();
  }

  std::string Handle(const std::string& line) {
    std::istringstream words(line);
    std::string request;
    words >> request;
    if (request == "missing") return RigMissing().value_or("");
    if (request == "clear") {
      End();
      ClearStalePcscd();
      return "";
    }
    if (request == "start") {
      std::string readers, name;
      words >> readers >> std::ws;
      std::getline(words, name);
      End();
      rig = std::make_unique<PcscRig>(
          readers == "none" ? PcscRig::Readers::None : PcscRig::Readers::Virtual,
          name.empty() ? kVirtualReaders : name);
      return std::to_string(rig->Pid());
    }
    if (request == "wait-card") {
      std::string state, reader;
      long ms = 0;
      words >> state >> ms >> std::ws;
      std::getline(words, reader);
      if (!rig) throw std::runtime_error("no rig runs");
      return rig->WaitForCard(reader, state == "present", std::chrono::milliseconds(ms))
                 ? "reached"
                 : "not reached";
    }
    if (request == "stop") {
      if (rig) rig->Stop();
      return "";
    }
    if (request == "end") {
      End();
      return "";
    }
    if (request == "log") return rig ? rig->Log() : "";
    if (request == "hold") {
      std::string mode, reader;
      long ms = 0;
      words >> mode >> ms >> std::ws;
      std::getline(words, reader);
      other.reset();
      const auto tool = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "pcsc-hold";
      other = std::make_unique<OtherProgram>(
          tool.string(), reader,
          mode == "exclusive" ? OtherProgram::Hold::Exclusive : OtherProgram::Hold::Transaction,
          std::chrono::milliseconds(ms));
      return std::to_string(other->Pid());
    }
    if (request == "release") {
      if (other) other->Release();
      return "";
    }
    if (request == "wait-end") {
      long ms = 0;
      words >> ms;
      return !other || other->WaitForEnd(std::chrono::milliseconds(ms)) ? "ended" : "running";
    }
    if (request == "drop") {
      other.reset();
      return "";
    }
    throw std::runtime_error("unknown request \"" + line + "\"");
  }
};

int Serve() {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kRigServicePort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 1) != 0) {
    std::perror("pcsc-rig: port");
    return 1;
  }
  std::cout << "rig service on port " << kRigServicePort << std::endl;
  // One test process at a time, one request at a time.
  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    FILE* in = ::fdopen(fd, "r");
    Served served;
    char* buffer = nullptr;
    std::size_t size = 0;
    for (ssize_t n; (n = ::getline(&buffer, &size, in)) > 0;) {
      std::string line(buffer, std::size_t(n));
      if (line.back() == '\n') line.pop_back();
      std::string reply, status = "ok";
      try {
        reply = served.Handle(line);
      } catch (const std::exception& e) {
        status = "error";
        reply = e.what();
      }
      const std::string out = status + " " + std::to_string(reply.size()) + "\n" + reply;
      if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != ssize_t(out.size())) break;
    }
    std::free(buffer);
    served.End();
    std::fclose(in);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc > 1 ? argv[1] : "classic";
  if (kind == "serve") return argc == 2 ? Serve() : Usage();
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
