#pragma once

#include "tests/e2e/Controller.h"
#include "tests/e2e/ServerProcess.h"
#include "tests/e2e/SimBoard.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace e2e {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A full disk for the server, played by a file size limit of 0, as a
// ServerProcess::set_before_exec hook: writes fail with EFBIG, not a signal.
inline void FullDisk() {
  signal(SIGXFSZ, SIG_IGN);
  const rlimit none{0, 0};
  setrlimit(RLIMIT_FSIZE, &none);
}

// A served server with one connected controller and the board's control
// socket; the test ends with SIGTERM, which must stop the server cleanly and
// remove its pid file.
class GatewayFixture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.StartServing());
    ASSERT_TRUE(controller_.Connect());
    ASSERT_TRUE(controller_.Sync());
    ASSERT_TRUE(board_.Connect());
  }
  void TearDown() override {
    if (!server_.running()) {
      return;
    }
    server_.Signal(SIGTERM);
    EXPECT_EQ(server_.WaitExitCode(), 0) << server_.output();
    EXPECT_FALSE(std::filesystem::exists(server_.Path("/var/run/server.pid")));
  }

  // Creates a slot on a timeslot of trunk 1 and reads its answer and stream signals.
  void CreateTrunkSlot(int seq, unsigned slot, int timeslot) {
    ASSERT_TRUE(controller_.Send(CreateTrunk(seq, slot, 1, timeslot)));
    ExpectNext(controller_, {seq, slot, "success"});
    const std::string channel = std::to_string(32 + timeslot);
    ExpectNext(controller_, {std::nullopt, slot, "transmitter active " + channel});
    ExpectNext(controller_, {std::nullopt, slot, "receiver active " + channel});
  }

  ServerProcess server_;
  Controller controller_{server_};
  SimBoard board_{server_};
};

}  // namespace e2e
