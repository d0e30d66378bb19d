#include <unistd.h>

#include <csignal>
#include <iostream>

#include "Cli.h"

int main(int argc, char** argv) {
  std::signal(SIGINT, [](int) { talvix::cli::requestInterrupt(); });
  const std::vector<std::string> args(argv + 1, argv + argc);
  return talvix::cli::run(args, {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1});
}
