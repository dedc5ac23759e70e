#include "server/Startup.h"
#include "tests/support/CommandLine.h"

#include "platform/sim/Board.h"
#include "tests/support/BoardRoot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Nothing of the simulated board was opened or asked.
void ExpectNoDeviceTouched() {
  for (const std::string& path : sim::Board::instance().Paths()) {
    const sim::Driver* driver = sim::Board::instance().Find(path);
    EXPECT_TRUE(driver->Requests().empty()) << path;
    EXPECT_EQ(driver->OpenCount(), 0u) << path;
  }
}

// Begins a server on the command line "korvexd <words>" on a fresh board;
// text gets what it wrote to stream meanwhile.
std::optional<int> Begin(std::vector<std::string> words, std::ostream& stream, std::string& text) {
  sim::Board::instance().Reset();
  std::vector<char*> argv = test_support::CommandLine(words);
  std::ostringstream captured;
  std::streambuf* saved = stream.rdbuf(captured.rdbuf());
  Startup startup;
  const std::optional<int> status = startup.Begin(static_cast<int>(words.size()), argv.data());
  stream.rdbuf(saved);
  text = captured.str();
  return status;
}

// A server asked only for its version or its usage may run beside the one
// serving the board: whatever else its command line says, it leaves before
// any device is opened.
TEST(Startup, LeavingEarlyTouchesNoDevice) {
  const struct {
    const char* name;
    std::vector<std::string> words;
    int status;
    const char* output;
  } kCases[] = {
      {"version", {"--disable-clock", "--version"}, 2, "server version: "},
      {"version, daemon on another port", {"-D", "--port", "7", "--disable-clock", "--version"}, 2, "server version: "},
      {"help", {"--disable-clock", "--help"}, 0, "Usage:"},
  };
  TempBoardRoot root;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string out;
    EXPECT_EQ(Begin(c.words, std::cout, out), c.status);
    EXPECT_EQ(out.rfind(c.output, 0), 0u) << out;
    ExpectNoDeviceTouched();
  }
}

// The dial-in listener's port is checked as the controller's is: a value that
// is no port refuses the start, where it once fell back to the board's port.
TEST(Startup, RefusesAnAuthPortThatIsNoPort) {
  TempBoardRoot root;
  for (const char* value : {"abc", "70000", "-1", "36347x", ""}) {
    SCOPED_TRACE(value);
    setenv("GATEWAY_AUTH_PORT", value, 1);
    std::string err;
    EXPECT_EQ(Begin({}, std::cerr, err), 2);
    unsetenv("GATEWAY_AUTH_PORT");
    EXPECT_EQ(err, std::string("korvexd: invalid GATEWAY_AUTH_PORT '") + value +
                       "' (a whole number 0 to 65535, 0 for any free port)\n");
    EXPECT_EQ(root.Read("/var/run/server.pid"), "<missing>");
    ExpectNoDeviceTouched();
  }
}

}  // namespace
