#pragma once

#include <cstdint>
#include <optional>
#include <ostream>

// What the server's command line asks for.
struct Options {
  static constexpr uint16_t kDefaultPort = 20001;

  bool daemon = false;
  bool disable_clock = false;
  bool print_version = false;
  uint16_t port = kDefaultPort;
  // Set when the process must leave at once with this status: after the usage
  // text for --help (0) or for an option it does not know or cannot use, or a
  // word left after the options (2).
  std::optional<int> exit_status;
};

// Parses argv with getopt_long, which reports unknown options on the error
// stream itself; the usage text goes to out.
[[nodiscard]] Options ParseOptions(int argc, char** argv, std::ostream& out);

// Writes the usage text followed by one empty line.
void PrintUsage(std::ostream& out);
