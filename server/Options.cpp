#include "server/Options.h"

#include <getopt.h>

#include <charconv>
#include <cstring>
#include <iostream>

namespace {

constexpr int kExitHelp = 0;
constexpr int kExitBadOption = 2;

// Values of the long options without a short form.
enum LongOnly { kPort = 256, kDisableClock, kVersion };

const option kLongOptions[] = {{"daemon", no_argument, nullptr, 'D'},
                               {"port", required_argument, nullptr, kPort},
                               {"disable-clock", no_argument, nullptr, kDisableClock},
                               {"version", no_argument, nullptr, kVersion},
                               {"help", no_argument, nullptr, 'h'},
                               {nullptr, 0, nullptr, 0}};

// A port is a whole decimal number 1..65535: anything else would silently
// listen somewhere the controller does not look.
std::optional<uint16_t> ParsePort(const char* text) {
  unsigned value = 0;
  const char* end = text + std::strlen(text);
  auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || text == end || value < 1 || value > 65535) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

// After the usage text: the command line asks for what the server cannot do.
Options Refused(std::ostream& out) {
  PrintUsage(out);
  Options options;
  options.exit_status = kExitBadOption;
  return options;
}

}  // namespace

void PrintUsage(std::ostream& out) {
  out << "Usage:\n"
         " korvexd -Dh\n"
         "  -D --daemon                      run as daemon\n"
         "  -p --port                        use this port\n"
         "     --disable-clock               disable clock control\n"
         "     --version                     print version\n"
         "  -h --help                        display this information\n"
      << std::endl;
}

Options ParseOptions(int argc, char** argv, std::ostream& out) {
  Options options;
  opterr = 1;
  // 0 rather than 1 makes glibc start over, so a second parse sees every word.
  optind = 0;
  for (;;) {
    int code = getopt_long(argc, argv, "Dh", kLongOptions, nullptr);
    // getopt_long moves the words that are no options to the end: a port
    // given without --port would otherwise be dropped without a word.
    if (code == -1 && optind < argc) {
      std::cerr << argv[0] << ": unexpected argument '" << argv[optind] << "'" << std::endl;
      return Refused(out);
    }
    if (code == -1) {
      return options;
    }
    switch (code) {
      case 'D':
        options.daemon = true;
        break;
      case kPort: {
        std::optional<uint16_t> port = ParsePort(optarg);
        if (!port) {
          std::cerr << argv[0] << ": invalid port '" << optarg << "'" << std::endl;
          return Refused(out);
        }
        options.port = *port;
        break;
      }
      case kDisableClock:
        options.disable_clock = true;
        break;
      case kVersion:
        options.print_version = true;
        break;
      case 'h':
        PrintUsage(out);
        options.exit_status = kExitHelp;
        return options;
      default:
        return Refused(out);
    }
  }
}
