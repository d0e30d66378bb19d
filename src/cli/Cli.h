#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace talvix::cli {

// Exit codes of the talvix command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;

struct Io {
  std::ostream& out;
  std::ostream& err;
  bool progressOnTerminal = false;  // draw a progress bar on `err`
};

// Runs `talvix <args...>` (args without the program name) and answers its exit code.
int run(const std::vector<std::string>& args, Io io);

// Set from a signal handler: the running command stops at its next unit of work.
void requestInterrupt() noexcept;

}  // namespace talvix::cli
