// tqr-sim's arguments: any words end with status 0, 1 or 2; bad usage (2)
// leaves the state file as it was byte for byte; whatever ran, the state
// file still reads.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fuzz_check.h"
#include "sim_state.h"
#include "tqr_sim_cli.h"

using namespace rfid::sim;

namespace {
std::string g_path;

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = rfid::fuzz::PrivateStateFile("tqr-sim-tool-fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Words separated by NUL, as argv holds them.
  std::vector<std::string> args;
  std::string word;
  for (std::size_t i = 0; i < size && args.size() < 6; ++i) {
    if (data[i] == 0) {
      args.push_back(word);
      word.clear();
    } else {
      word += char(data[i]);
    }
  }
  if (args.size() < 6 && (size == 0 || data[size - 1] != 0)) args.push_back(word);

  State start = DefaultState();
  start.card.SetBlock(1, "0012345678AAAAAA2020202020202020");
  start.faults.garbage = {true, 2};
  start.goodBeeps = kMaxBeeps;
  StateStore store(g_path);
  store.Replace(start);
  const std::string before = FileText(g_path);

  std::ostringstream out, err;
  const int status = RunTqrSim(args, out, err);
  FUZZ_CHECK(status == 0 || status == 1 || status == 2);
  if (status == 2) {
    FUZZ_CHECK(FileText(g_path) == before);
    FUZZ_CHECK(err.str().rfind("tqr-sim: ", 0) == 0);
    FUZZ_CHECK(out.str().empty());
  }
  if (status == 1) FUZZ_CHECK(err.str().rfind("tqr-sim: ", 0) == 0);
  store.Load();  // throws (and so fails) when the file does not read
  return 0;
}
