// Prints how long one exchange with the simulated library takes: read,
// write and beep frames against a state file in a fresh temporary folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "exchange.h"
#include "frame.h"
#include "library_reader.h"

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  std::string dir = (std::filesystem::temp_directory_path() / "tqr-sim-bench.XXXXXX").string();
  if (!mkdtemp(dir.data())) return 1;
  setenv("TQR_SIM_STATE", (dir + "/state").c_str(), 1);
  rfid::LibraryReader reader(TQR_SIM_LIBRARY);
  const std::vector<std::pair<const char*, std::string>> frames = {
      {"read", rfid::WithBcc(rfid::ReadBody(1))},
      {"write", rfid::WithBcc(rfid::WriteBody(1, "0000012345AAAAAA"))},
      {"beep", rfid::WithBcc(rfid::GoodBeepBody())},
  };
  // A full exchange log, as in a long session.
  for (int i = 0; i < 60; ++i) rfid::Exchange(reader, frames[0].second);
  std::printf("simulated exchange, %d rounds each (state file with a full log)\n", rounds);
  for (const auto& [name, frame] : frames) {
    std::vector<double> us;
    us.reserve(std::size_t(rounds));
    for (int i = 0; i < rounds; ++i) {
      const auto start = std::chrono::steady_clock::now();
      rfid::Exchange(reader, frame);
      us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double u : us) sum += u;
    std::printf("  %-5s  mean %7.1f us  median %7.1f us  p99 %7.1f us  max %8.1f us\n", name,
                sum / double(us.size()), us[us.size() / 2], us[us.size() * 99 / 100], us.back());
  }
  std::filesystem::remove_all(dir);
  return 0;
}
