// The rig under Wine: pcscd and the holding program are Linux processes that
// the rig service starts and stops; the cards and PC/SC are the test's own.
#include "pcsc_rig.h"

#include <memory>
#include <stdexcept>

#include "loopback_socket.h"

namespace rfid::pcsc::rig {

namespace {

std::unique_ptr<LoopbackSocket>& ServiceLine() {
  static std::unique_ptr<LoopbackSocket> line;
  return line;
}

// The reply's text; throws std::runtime_error with it when the service
// answers "error", or when the line is broken.
std::string Ask(const std::string& request) {
  auto& line = ServiceLine();
  if (!line) line = std::make_unique<LoopbackSocket>(kRigServicePort);
  if (!line->WriteAll(request + "\n")) throw std::runtime_error("the rig service hung up");
  std::string header;
  for (std::uint8_t c; line->ReadExact(&c, 1) && c != '\n';) header += char(c);
  const auto space = header.find(' ');
  if (space == std::string::npos) throw std::runtime_error("the rig service hung up");
  std::string text(std::stoul(header.substr(space + 1)), '\0');
  if (!text.empty() && !line->ReadExact(reinterpret_cast<std::uint8_t*>(text.data()), text.size()))
    throw std::runtime_error("the rig service hung up");
  if (header.compare(0, space, "ok") != 0)
    throw std::runtime_error(request + ": " + text);
  return text;
}

void AskQuietly(const std::string& request) noexcept {
  try {
    Ask(request);
  } catch (...) {
  }
}

}  // namespace

std::optional<std::string> RigMissing() {
  try {
    const std::string why = Ask("missing");
    if (!why.empty()) return why;
  } catch (const std::exception& e) {
    return std::string("no rig service (pcsc-rig serve, see scripts/windows/pcsc-wine.sh): ") +
           e.what();
  }
  return std::nullopt;
}

// The service runs one rig at a time: the lock is its.
RigLock::RigLock() = default;
RigLock::~RigLock() = default;

void ClearStalePcscd() { Ask("clear"); }

PcscRig::PcscRig(Readers readers, const std::string& name) {
  m_Pid = pid_t(std::stoll(Ask(readers == Readers::Virtual ? "start virtual " + name : "start none")));
}

PcscRig::~PcscRig() { AskQuietly("end"); }

void PcscRig::Stop() {
  Ask("stop");
  m_Pid = -1;
}

std::string PcscRig::Log() const {
  try {
    return Ask("log");
  } catch (const std::exception& e) {
    return e.what();
  }
}

// Asked of the service's pcsc-lite: Wine's ANSI calls cannot name every reader.
bool PcscRig::WaitForCard(const std::string& reader, bool present,
                          std::chrono::milliseconds timeout) const {
  return Ask(std::string("wait-card ") + (present ? "present " : "absent ") +
             std::to_string(timeout.count()) + " " + reader) == "reached";
}

OtherProgram::OtherProgram(const std::string&, const std::string& reader, Hold hold,
                           std::chrono::milliseconds duration) {
  m_Pid = pid_t(std::stoll(Ask(std::string("hold ") +
                               (hold == Hold::Exclusive ? "exclusive " : "transaction ") +
                               std::to_string(duration.count()) + " " + reader)));
}

OtherProgram::~OtherProgram() { AskQuietly("drop"); }

void OtherProgram::Release() {
  Ask("release");
  m_Pid = -1;
}

bool OtherProgram::WaitForEnd(std::chrono::milliseconds timeout) {
  const bool ended = Ask("wait-end " + std::to_string(timeout.count())) == "ended";
  if (ended) m_Pid = -1;
  return ended;
}

}  // namespace rfid::pcsc::rig
