#include "server/Options.h"
#include "tests/support/CommandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

Options Parse(std::vector<std::string> words, std::string* usage = nullptr) {
  std::vector<char*> argv = test_support::CommandLine(words);
  std::ostringstream out;
  Options options = ParseOptions(static_cast<int>(words.size()), argv.data(), out);
  if (usage != nullptr) {
    *usage = out.str();
  }
  return options;
}

TEST(Options, ReadsEveryOption) {
  const struct {
    const char* name;
    std::vector<std::string> words;
    bool daemon;
    bool disable_clock;
    bool print_version;
    uint16_t port;
  } kCases[] = {
      {"nothing", {}, false, false, false, 20001},
      {"daemon", {"--daemon"}, true, false, false, 20001},
      {"short daemon", {"-D"}, true, false, false, 20001},
      {"clock", {"--disable-clock"}, false, true, false, 20001},
      {"version", {"--version"}, false, false, true, 20001},
      {"port", {"--port", "30000"}, false, false, false, 30000},
      {"port joined", {"--port=7"}, false, false, false, 7},
      {"lowest port", {"--port", "1"}, false, false, false, 1},
      {"highest port", {"--port", "65535"}, false, false, false, 65535},
      {"all", {"-D", "--port", "2", "--disable-clock", "--version"}, true, true, true, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string usage;
    Options options = Parse(c.words, &usage);
    EXPECT_EQ(options.exit_status, std::nullopt);
    EXPECT_EQ(options.daemon, c.daemon);
    EXPECT_EQ(options.disable_clock, c.disable_clock);
    EXPECT_EQ(options.print_version, c.print_version);
    EXPECT_EQ(options.port, c.port);
    EXPECT_EQ(usage, "");
  }
}

TEST(Options, LeavesWithTheUsageOnHelpAndOnWhatItCannotUse) {
  const struct {
    const char* name;
    std::vector<std::string> words;
    int status;
  } kCases[] = {
      {"help", {"--help"}, 0},
      {"short help", {"-h"}, 0},
      {"help after a daemon", {"-D", "-h"}, 0},
      {"unknown", {"--fast"}, 2},
      {"the -p the usage lists", {"-p", "20001"}, 2},
      {"port above the range", {"--port", "85537"}, 2},
      {"port 0", {"--port", "0"}, 2},
      {"port of letters", {"--port", "abc"}, 2},
      {"port with a tail", {"--port", "80a"}, 2},
      {"negative port", {"--port", "-80"}, 2},
      {"port with a plus", {"--port", "+80"}, 2},
      {"port with a blank", {"--port", " 80"}, 2},
      {"empty port", {"--port", ""}, 2},
      {"port far above the range", {"--port", "4294967377"}, 2},
      {"port missing", {"--port"}, 2},
      {"a port without its option", {"20002"}, 2},
      {"a word after the options", {"--port", "20002", "x"}, 2},
      {"a word before the options", {"x", "-D"}, 2},
      {"a word after the options' end", {"--", "x"}, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string usage;
    EXPECT_EQ(Parse(c.words, &usage).exit_status, c.status);
    EXPECT_EQ(usage.rfind("Usage:\n korvexd -Dh\n", 0), 0u) << usage;
    EXPECT_EQ(usage.substr(usage.size() - 2), "\n\n");
  }
}

}  // namespace
