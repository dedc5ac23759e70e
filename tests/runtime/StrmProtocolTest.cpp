#include "runtime/StrmProtocol.h"

#include "platform/Clock.h"
#include "runtime/ProtocolsFamily.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Owner : public ProtocolsFamily {
 public:
  void on_message(Packet& packet) override { sizes.push_back(packet.length()), texts.push_back(packet.text()); }
  void on_activated(Protocol*) override { ++activations; }
  void on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status> status) override {
    reports.push_back(status->message() + (status->success() ? " (success)" : " (failure)"));
  }

  std::vector<unsigned> sizes;
  std::vector<std::string> texts;
  std::vector<std::string> reports;
  int activations = 0;
};

class StrmProtocolTest : public ::testing::Test {
 protected:
  StrmProtocolTest() {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ours_ = Fd(ends[0]);
    peer_ = Fd(ends[1]);
    EXPECT_TRUE(ours_.NonBlock());
    stream_ = static_cast<StrmProtocol*>(owner_.add_protocol_tail(new StrmProtocol(ours_)));
    stream_->service_name("test");
    saved_err_ = std::cerr.rdbuf(err_.rdbuf());
  }
  ~StrmProtocolTest() override { std::cerr.rdbuf(saved_err_); }

  void PeerWrites(const std::string& bytes) {
    ASSERT_EQ(write(peer_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void Send(const std::string& bytes) {
    Packet packet;
    owner_.prepare_head(packet);
    packet.put(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<unsigned>(bytes.size()));
    owner_.message(packet);
  }
  std::string PeerReads() {
    char buffer[256];
    const ssize_t n = recv(peer_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }
  // Fills our send queue until it would block.
  void StallPeer() {
    const int fd = ours_.get();
    const std::string block(4096, 'x');
    while (send(fd, block.data(), block.size(), MSG_DONTWAIT) > 0) {
    }
  }

  Owner owner_;
  Fd ours_;
  Fd peer_;
  StrmProtocol* stream_;
  std::ostringstream err_;
  std::streambuf* saved_err_;
};

TEST_F(StrmProtocolTest, ActivationNeedsASocket) {
  owner_.activate();
  EXPECT_EQ(owner_.activations, 1);

  Owner empty;
  empty.add_protocol_tail(new StrmProtocol);
  empty.activate();
  EXPECT_EQ(empty.activations, 0);
  EXPECT_EQ(empty.reports, std::vector<std::string>{"fd not attached (failure)"});
}

TEST_F(StrmProtocolTest, ReadsAndWritesTheBytesAsTheyAre) {
  owner_.activate();
  PeerWrites("abc");
  stream_->on_event(ours_.get(), POLLIN);
  EXPECT_EQ(owner_.texts, std::vector<std::string>{"61 62 63"});
  stream_->on_event(ours_.get(), 0);
  EXPECT_EQ(owner_.texts.size(), 1u) << "an event without a bit is ignored";

  Send("xyz");
  Send("");
  EXPECT_EQ(PeerReads(), "xyz");
}

TEST_F(StrmProtocolTest, ABurstArrivesInPacketsOfAtMost64KiB) {
  const std::string burst(100000, 'b');
  PeerWrites(burst);
  unsigned total = 0;
  while (total < burst.size() && owner_.sizes.size() < 10) {
    stream_->on_event(ours_.get(), POLLIN);
    total = 0;
    for (unsigned size : owner_.sizes) {
      EXPECT_LE(size, packet_max_size);
      total += size;
    }
  }
  EXPECT_EQ(total, burst.size());
  EXPECT_GE(owner_.sizes.size(), 2u);
}

TEST_F(StrmProtocolTest, PeerClosingAfterItsLastBytes) {
  owner_.activate();
  PeerWrites("end");
  peer_.close();
  errno = EAGAIN;  // whatever errno holds must not show in the report
  stream_->on_event(ours_.get(), POLLIN | POLLHUP);
  EXPECT_EQ(owner_.texts, std::vector<std::string>{"65 6E 64"}) << "the last bytes come first";
  EXPECT_TRUE(owner_.reports.empty());

  stream_->on_event(ours_.get(), POLLIN | POLLHUP);
  EXPECT_EQ(owner_.reports, std::vector<std::string>{"read error: peer closed the connection (failure)"});
  EXPECT_EQ(fcntl(ours_.get(), F_GETFD), 0) << "only the layer's own duplicate is closed";

  stream_->on_event(ours_.get(), POLLIN | POLLHUP);
  Send("late");
  EXPECT_EQ(owner_.reports.size(), 1u) << "a closed socket reports once";
}

TEST_F(StrmProtocolTest, HangUpAndErrorReports) {
  const struct {
    const char* name;
    short revents;
    const char* report;
  } kCases[] = {
      {"hang-up alone", POLLHUP, "pollhup: peer closed the connection (failure)"},
      {"error wins over hang-up", POLLERR | POLLHUP, "pollerr: unknown error (failure)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Owner owner;
    auto* stream = static_cast<StrmProtocol*>(owner.add_protocol_tail(new StrmProtocol(ours_)));
    owner.activate();
    errno = EAGAIN;
    stream->on_event(ours_.get(), c.revents);
    EXPECT_EQ(owner.reports, std::vector<std::string>{c.report});
  }
}

TEST_F(StrmProtocolTest, ReportsTheSocketsOwnError) {
  // A TCP peer that resets the connection leaves ECONNRESET on our socket.
  const Fd listener(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener.get(), 1), 0);
  ASSERT_EQ(getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size), 0);
  Fd client(socket(AF_INET, SOCK_STREAM, 0));
  ASSERT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
  Fd accepted(accept(listener.get(), nullptr, nullptr));
  const linger abort_on_close{1, 0};
  ASSERT_EQ(setsockopt(accepted.get(), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close), 0);

  Owner owner;
  auto* stream = static_cast<StrmProtocol*>(owner.add_protocol_tail(new StrmProtocol(client)));
  owner.activate();
  accepted.close();
  pollfd entry{client.get(), POLLIN, 0};
  ASSERT_EQ(poll(&entry, 1, 5000), 1);
  errno = EAGAIN;
  stream->on_event(client.get(), entry.revents);
  EXPECT_EQ(owner.reports, std::vector<std::string>{"pollerr: Connection reset by peer (failure)"});
}

TEST_F(StrmProtocolTest, WriteToAClosedPeerFails) {
  owner_.activate();
  peer_.close();
  Send("lost");
  EXPECT_EQ(owner_.reports, std::vector<std::string>{"write error: Broken pipe (failure)"});
  EXPECT_EQ(stream_->overflow_counter(), 1u);
  EXPECT_NE(err_.str().find("SockStream[test]: write error, sendbuf="), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find(", error=Broken pipe\n"), std::string::npos) << err_.str();
}

TEST_F(StrmProtocolTest, GivesUpOnAPeerThatNeverReads) {
  // The clock stands still, so the layer waits out its whole second in poll.
  platform::clock_control::Freeze(timeval{50, 0});
  owner_.activate();
  StallPeer();
  Send("more");
  platform::clock_control::Release();
  EXPECT_EQ(owner_.reports, std::vector<std::string>{"write timeout (failure)"});
  EXPECT_EQ(stream_->overflow_counter(), 1u);
  const std::string line = err_.str();
  EXPECT_EQ(line.rfind("SockStream[test]: write timeout, sendbuf=", 0), 0u) << line;
  EXPECT_NE(line.find(", outq="), std::string::npos) << line;
  EXPECT_EQ(line.find("error="), std::string::npos) << line;
}

TEST_F(StrmProtocolTest, DeactivationClosesTheSocketAndReportsSuccess) {
  owner_.activate();
  owner_.deactivate();
  EXPECT_EQ(owner_.reports, std::vector<std::string>{"success (success)"});
  PeerWrites("ignored");
  Send("dropped");
  EXPECT_EQ(PeerReads(), "");
}

}  // namespace
