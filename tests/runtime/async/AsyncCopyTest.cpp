#include "runtime/async/AsyncCopy.h"

#include "runtime/loop/Multiplexer.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

// A connected non-blocking stream pair: the copy gets `local`, the test plays
// the far end on `peer`.
struct Pair : control_test::SocketPair {
  Pair() : SocketPair(SOCK_NONBLOCK) {}
};

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    text[i] = static_cast<char>('a' + i % 26);
  }
  return text;
}

void WriteAll(const Fd& fd, const std::string& data) {
  ASSERT_EQ(write(fd.get(), data.data(), data.size()), static_cast<ssize_t>(data.size()));
}

std::string ReadAvailable(const Fd& fd) {
  std::string text;
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd.get(), chunk, sizeof chunk)) > 0) {
    text.append(chunk, static_cast<size_t>(n));
  }
  return text;
}

using control_test::Fill;

size_t Unread(const Fd& fd) {
  int bytes = 0;
  EXPECT_EQ(ioctl(fd.get(), FIONREAD, &bytes), 0);
  return static_cast<size_t>(bytes);
}

// Owns the copy, records its completion and stops the loop then.
class CopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);
    copy_.Bind(this, &CopyTest::OnDone);
  }
  void OnDone(ASync::Copy::Status::Type status) {
    completions_.push_back(status);
    // A terminate outside the loop would be kept for the next run.
    if (running_) {
      multiplexer.terminate();
    }
  }
  void RunUntilDone() {
    if (!completions_.empty()) {
      return;
    }
    running_ = true;
    multiplexer.run(false, true);
    running_ = false;
  }

  ASync::Copy copy_;
  std::vector<ASync::Copy::Status::Type> completions_;
  bool running_ = false;
};

TEST_F(CopyTest, CopiesEverythingThenCompletesAsFlushEventsSay) {
  const struct {
    const char* name;
    size_t size;
    short flush;
  } kCases[] = {
      {"several buffers, flush wait", 5000, POLLWRNORM},
      {"several buffers, no flush wait", 5000, 0},
      {"empty source", 0, POLLWRNORM},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    completions_.clear();
    Pair source, destination;
    const std::string data = Pattern(c.size);
    WriteAll(source.peer, data);
    source.peer.close();
    ASync::Copy::EventsParams events;
    events.flush = c.flush;
    copy_.set_events(events);
    copy_.Start(source.local, destination.local);
    if (c.flush == 0 && c.size > 0) {
      EXPECT_EQ(copy_.status(), ASync::Copy::Status::kDone) << "done with the last byte";
    }
    RunUntilDone();
    EXPECT_EQ(completions_, std::vector<ASync::Copy::Status::Type>{ASync::Copy::Status::kDone});
    EXPECT_EQ(copy_.written(), c.size);
    EXPECT_EQ(ReadAvailable(destination.peer), data);
  }
}

TEST_F(CopyTest, StopWithPendingWriteFinishesItFirst) {
  Pair source, destination;
  const size_t junk = Fill(destination.local);
  const std::string data = Pattern(3000);
  WriteAll(source.peer, data);
  copy_.Start(source.local, destination.local);
  ASSERT_EQ(copy_.status(), ASync::Copy::Status::kCopying) << "the first write found the destination full";
  EXPECT_EQ(Unread(source.local), 3000u - 1024u) << "one buffer was read";
  copy_.Stop();
  EXPECT_EQ(copy_.status(), ASync::Copy::Status::kDraining);

  // The far end drains everything as it arrives.
  Event drain;
  std::string received;
  struct Drainer {
    void OnEvent(int, short) { received->append(ReadAvailable(*peer)); }
    std::string* received;
    const Fd* peer;
  } drainer{&received, &destination.peer};
  drain.Bind("drain", &Drainer::OnEvent, &drainer);
  drain.Schedule(destination.peer, POLLIN);
  RunUntilDone();
  received += ReadAvailable(destination.peer);
  EXPECT_EQ(completions_, std::vector<ASync::Copy::Status::Type>{ASync::Copy::Status::kDone});
  EXPECT_EQ(received, std::string(junk, 'J') + data.substr(0, 1024));
}

TEST_F(CopyTest, ReadErrorFailsTheCopyEvenAfterDataWasWritten) {
  // A TCP peer that sends data and then resets: reads give the data, then
  // ECONNRESET.
  control_test::TcpPair tcp;
  WriteAll(tcp.server, "partial");
  control_test::CloseWithReset(tcp.server);
  ASSERT_TRUE(tcp.client.NonBlock());

  Pair destination;
  copy_.Start(tcp.client, destination.local);
  RunUntilDone();
  EXPECT_EQ(completions_, std::vector<ASync::Copy::Status::Type>{ASync::Copy::Status::kFailed});
  EXPECT_EQ(copy_.error(), ECONNRESET);
  EXPECT_EQ(copy_.written(), 7u);
  EXPECT_EQ(ReadAvailable(destination.peer), "partial");
}

}  // namespace
