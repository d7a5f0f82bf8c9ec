// The commands of tqr-sim, apart from its main so that they can be driven
// with any arguments in one process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace rfid::sim {

// Runs one tqr-sim command line (the words after the program's name).
// Returns the exit status: 0 done, 1 the state could not be used, 2 bad
// usage (the state is not touched).
int RunTqrSim(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace rfid::sim
