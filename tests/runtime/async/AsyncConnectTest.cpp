#include "runtime/async/AsyncConnect.h"

#include "platform/Clock.h"
#include "runtime/loop/Multiplexer.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

namespace {

// A loopback listener; with a full accept queue it never answers further
// connection attempts.
struct Listener {
  explicit Listener(int backlog) : fd(control_test::BoundSocket(false)), port(control_test::LocalPort(fd.get())) {
    EXPECT_EQ(listen(fd.get(), backlog), 0);
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
  Fd fd;
  int port;
};

class ConnectTest : public ::testing::Test {
 protected:
  using Status = ASync::Connect::Status;

  void SetUp() override { connect_.Bind(this, &ConnectTest::OnDone); }
  void TearDown() override { platform::clock_control::Release(); }

  void OnDone(Status::Type status, Fd fd) {
    statuses_.push_back(status);
    fd_ = std::move(fd);
    if (running_) {
      multiplexer.terminate();
    }
  }
  // Runs the loop until the attempt completes.
  void Run() {
    if (!statuses_.empty()) {
      return;
    }
    running_ = true;
    multiplexer.run(false, true);
    running_ = false;
  }

  ASync::Connect connect_;
  std::vector<Status::Type> statuses_;
  Fd fd_;
  bool running_ = false;
};

TEST_F(ConnectTest, RefusedAndUnparsableAddressesFail) {
  int closed_port = 0;
  {
    Listener gone(1);
    closed_port = gone.port;
  }
  const struct {
    const char* name;
    std::string address;
    bool at_once;
  } kCases[] = {
      {"nobody listens", "127.0.0.1:" + std::to_string(closed_port), false},
      {"no port", "127.0.0.1", true},
      {"not an address", "localhost:80", true},
      {"port out of range", "127.0.0.1:70000", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    statuses_.clear();
    connect_.Start(c.address, 5000);
    if (c.at_once) {
      EXPECT_EQ(statuses_, std::vector<Status::Type>{Status::kFailed}) << "completed within Start";
    }
    Run();
    EXPECT_EQ(statuses_, std::vector<Status::Type>{Status::kFailed});
    EXPECT_FALSE(fd_);
  }
}

TEST_F(ConnectTest, SilentPeerTimesOutAndStopEndsTheAttempt) {
  // Backlog 0 takes one connection; further handshakes go unanswered.
  Listener full(0);
  Fd first = control_test::Connect(static_cast<uint16_t>(full.port));

  platform::clock_control::Freeze(timeval{1000, 0});
  connect_.Start(full.Address(), 3000);
  ASSERT_TRUE(statuses_.empty()) << "still waiting for the peer";
  EXPECT_EQ(connect_.status(), Status::kConnecting);
  platform::clock_control::Advance(3000);
  Run();
  EXPECT_EQ(statuses_, std::vector<Status::Type>{Status::kFailed});

  statuses_.clear();
  connect_.Start(full.Address(), 3000);
  connect_.Stop();
  EXPECT_EQ(statuses_, std::vector<Status::Type>{Status::kStopped});
  // The time-out is cancelled with the attempt.
  platform::clock_control::Advance(3000);
  multiplexer.timers_schedule();
  connect_.Stop();
  EXPECT_EQ(statuses_, std::vector<Status::Type>{Status::kStopped}) << "nothing reaches the handler later";
}

}  // namespace
