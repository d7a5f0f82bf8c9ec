// tqr-sim: shows and changes the simulated reader's state.
#include <iostream>

#include "tqr_sim_cli.h"

int main(int argc, char** argv) {
  try {
    return rfid::sim::RunTqrSim(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                std::cerr);
  } catch (...) {
    std::cerr << "tqr-sim: unexpected error\n";
    return 1;
  }
}
