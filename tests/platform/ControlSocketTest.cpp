#include "platform/BoardPath.h"
#include "platform/Clock.h"
#include "platform/Device.h"
#include "platform/sim/ControlSocket.h"
#include "tests/platform/SimTestDriver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace sim {
namespace {

// A guard against a hang, not a timing assertion.
constexpr int kReplyWaitMs = 10000;

class ControlSocketTest : public SimBoardTest {
 protected:
  void SetUp() override {
    SimBoardTest::SetUp();
    std::filesystem::create_directories(root_.Path("/var/run"));
    socket_ = std::make_unique<ControlSocket>();
    ASSERT_TRUE(socket_->Start()) << std::strerror(errno);
    client_ = Connect();
    ASSERT_GE(client_, 0);
  }
  void TearDown() override {
    close(client_);
    socket_.reset();
    EXPECT_FALSE(std::filesystem::exists(root_.Path("/var/run/board-sim.sock")));
    SimBoardTest::TearDown();
  }

  static int Connect() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = platform::BoardPath(ControlSocket::kPath);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  void Send(const std::string& text) {
    ASSERT_EQ(send(client_, text.data(), text.size(), MSG_NOSIGNAL), (ssize_t)text.size());
  }

  // The next reply line, or "<closed>" when the board drops the client.
  std::string ReadLine() {
    std::string line;
    char c;
    for (;;) {
      pollfd entry{client_, POLLIN, 0};
      // A clock command wakes this thread (the loop's) with a signal.
      int ready;
      while ((ready = poll(&entry, 1, kReplyWaitMs)) < 0 && errno == EINTR) {
      }
      if (ready != 1) {
        return "<no reply>";
      }
      ssize_t got;
      while ((got = recv(client_, &c, 1, 0)) < 0 && errno == EINTR) {
      }
      if (got != 1) {
        return "<closed>";
      }
      if (c == '\n') {
        return line;
      }
      line += c;
    }
  }

  std::string Ask(const std::string& command) {
    Send(command + "\n");
    return ReadLine();
  }

  std::unique_ptr<ControlSocket> socket_;
  int client_ = -1;
};

TEST_F(ControlSocketTest, AnswersEachLineWithOneLine) {
  int fd = platform::Open(SimTestDriver::kPath, O_RDWR);
  ASSERT_GE(fd, 0);
  std::string list = "ok";
  for (const std::string& path : Board::instance().Paths()) {
    list += " " + path;
  }
  EXPECT_NE(list.find(" /dev/sim-test"), std::string::npos);
  const struct {
    const char* command;
    std::string reply;
  } kCases[] = {
      {"board list", list},
      {"/dev/sim-test opens", "ok 1"},
      {"  /dev/sim-test   opens\r", "ok 1"},
      {"/dev/misc/gw-wd opens", "ok 0"},
      {"/dev/sim-test fail read 0 EIO", "error bad count 0: out of range 1-1000000"},
      {"/dev/sim-test fail read 1 ENOSUCHERROR", "error bad errno ENOSUCHERROR: not an errno name or number 1-4095"},
      {"/dev/sim-test fail 0x2000zz 1 EIO", "error bad call 0x2000zz: not open|read|write or a request code"},
      {"/dev/sim-test fail read 1", "error usage: fail open|read|write|<request> <count> <errno>"},
      {"/dev/sim-test dance", "error unknown command dance for /dev/sim-test"},
      {"/dev/sim-test", "error missing command for /dev/sim-test"},
      {"/dev/nothing opens", "error no device /dev/nothing"},
      {"", "error empty command"},
      {"clock advance soon", "error usage: clock advance|back <ms> | clock set <32-bit ms>"},
      {"clock advance -5", "error usage: clock advance|back <ms> | clock set <32-bit ms>"},
      {"clock advance 18446744073709551615", "error usage: clock advance|back <ms> | clock set <32-bit ms>"},
      {"clock advance 8589934593", "error usage: clock advance|back <ms> | clock set <32-bit ms>"},
      {"clock back 3600000", "ok"},
      {"clock set 4294966796", "ok"},
      {"clock set 4294967296", "error usage: clock advance|back <ms> | clock set <32-bit ms>"},
      {"clock sideways 5", "error usage: clock advance|back <ms> | clock set <32-bit ms>"},
      {"/dev/sim-test queue", "error usage: queue <text>"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(Ask(c.command), c.reply);
  }
  platform::clock_control::Release();
  platform::Close(fd);
}

TEST_F(ControlSocketTest, ClockAdvanceInterruptsTheLoopsPoll) {
  // Blocked until ppoll, so the wake-up cannot slip in before the wait.
  sigset_t wake;
  sigemptyset(&wake);
  sigaddset(&wake, ControlSocket::WakeSignal());
  sigset_t before;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &wake, &before), 0);
  platform::clock_control::Freeze(timeval{500, 0});

  EXPECT_EQ(Ask("clock advance 120000"), "ok");
  timespec limit{kReplyWaitMs / 1000, 0};
  sigset_t waiting = before;
  sigdelset(&waiting, ControlSocket::WakeSignal());
  errno = 0;
  EXPECT_EQ(ppoll(nullptr, 0, &limit, &waiting), -1);
  EXPECT_EQ(errno, EINTR);
  timeval now{};
  platform::GetTimeOfDay(&now);
  EXPECT_EQ(now.tv_sec, 620);

  platform::clock_control::Release();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// Two servers on one board root: the second must neither take over nor remove
// the live socket; a socket file that a killed server left is replaced; and a
// file put in the socket's place outlives the socket.
TEST_F(ControlSocketTest, TakesOverOnlyASocketFileNobodyServes) {
  const std::string path = platform::BoardPath(ControlSocket::kPath);
  {
    ControlSocket second;
    errno = 0;
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(errno, EADDRINUSE);
  }
  EXPECT_EQ(Ask("/dev/sim-test opens"), "ok 0");

  close(client_);
  socket_.reset();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int dead = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(dead);
  socket_ = std::make_unique<ControlSocket>();
  ASSERT_TRUE(socket_->Start()) << std::strerror(errno);
  client_ = Connect();
  ASSERT_GE(client_, 0);
  EXPECT_EQ(Ask("/dev/sim-test opens"), "ok 0");

  ASSERT_EQ(unlink(path.c_str()), 0);
  std::ofstream(path) << "another's";
  socket_.reset();
  EXPECT_TRUE(std::filesystem::exists(path));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace sim
