#include "runtime/protocol/StrmProtocol.h"

#include "platform/Clock.h"
#include "runtime/log/Ext.h"
#include "runtime/protocol/ProtocolsFamily.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

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
    EXPECT_TRUE(ours_.NonBlock());
    stream_ = static_cast<StrmProtocol*>(owner_.add_protocol_tail(new StrmProtocol(ours_)));
    stream_->service_name("test");
  }

  void PeerWrites(const std::string& bytes) {
    ASSERT_EQ(write(peer_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void Send(const std::string& bytes) {
    Packet packet;
    owner_.prepare_head(packet);
    packet.put(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<unsigned>(bytes.size()));
    owner_.message(packet);
  }

  control_test::SocketPair pair_;
  Fd& ours_ = pair_.local;
  Fd& peer_ = pair_.peer;
  Owner owner_;
  StrmProtocol* stream_;
  control_test::Logs logs_;
};

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
  EXPECT_GE(fcntl(ours_.get(), F_GETFD), 0) << "only the layer's own duplicate is closed";

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
  control_test::TcpPair tcp;
  Fd& client = tcp.client;
  Owner owner;
  auto* stream = static_cast<StrmProtocol*>(owner.add_protocol_tail(new StrmProtocol(client)));
  owner.activate();
  control_test::CloseWithReset(tcp.server);
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
  EXPECT_NE(logs_.Err().find("SockStream[test]: write error, sendbuf="), std::string::npos) << logs_.Err();
  EXPECT_NE(logs_.Err().find(", error=Broken pipe\n"), std::string::npos) << logs_.Err();
}

TEST_F(StrmProtocolTest, GivesUpOnAPeerThatNeverReads) {
  // The clock stands still, so the layer waits out its whole second in poll.
  platform::clock_control::Freeze(timeval{50, 0});
  owner_.activate();
  control_test::Fill(ours_);
  Send("more");
  platform::clock_control::Release();
  EXPECT_EQ(owner_.reports, std::vector<std::string>{"write timeout (failure)"});
  EXPECT_EQ(stream_->overflow_counter(), 1u);
  const std::string line = logs_.Err();
  EXPECT_EQ(line.rfind("SockStream[test]: write timeout, sendbuf=", 0), 0u) << line;
  EXPECT_NE(line.find(", outq="), std::string::npos) << line;
  EXPECT_EQ(line.find("error="), std::string::npos) << line;
}

}  // namespace
