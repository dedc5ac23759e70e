#include "runtime/protocol/Tpkt_protocol.h"

#include "platform/Clock.h"
#include "runtime/loop/Multiplexer.h"
#include "runtime/protocol/ProtocolsFamily.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Stands in for the stream layer: keeps what is written and passes chunks up.
class Wire : public Protocol {
 public:
  void message(Packet& packet) override { written.assign(packet.data(), packet.data() + packet.length()); }
  void receive(Packet& chunk) override { on_message(chunk); }
  void local_deactivate() override {
    deactivated = true;
    Protocol::local_deactivate();
  }

  Bytes written;
  bool deactivated = false;
};

class Owner : public ProtocolsFamily {
 public:
  void on_message(Packet& packet) override {
    payloads.push_back(packet.length() > 0 ? packet.text() : "(empty)");
    if (on_payload) {
      on_payload();
    }
  }
  void on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status> status) override {
    statuses.push_back(status->message());
  }

  std::vector<std::string> payloads;
  std::vector<std::string> statuses;
  // Runs after each payload is noted.
  std::function<void()> on_payload;
};

class TpktTest : public ::testing::Test {
 protected:
  TpktTest() {
    platform::clock_control::Freeze(timeval{1000, 0});
    wire_ = static_cast<Wire*>(owner_.add_protocol_tail(new Wire));
    owner_.add_protocol_tail(new Tpkt_protocol);
  }
  ~TpktTest() override { platform::clock_control::Release(); }

  void Feed(const Bytes& bytes) {
    Packet chunk;
    chunk.reserve_head(0);
    chunk.put(bytes.data(), static_cast<unsigned>(bytes.size()));
    owner_.receive(chunk);
  }
  // Moves the clock and fires whatever timer fell due.
  void Wait(uint64_t ms) {
    platform::clock_control::Advance(ms);
    multiplexer.timers_schedule();
  }
  Bytes Send(const Bytes& payload) {
    Packet packet;
    owner_.prepare_head(packet);
    packet.put(payload.data(), static_cast<unsigned>(payload.size()));
    wire_->written.clear();
    owner_.message(packet);
    return wire_->written;
  }

  Owner owner_;
  Wire* wire_;
  control_test::Logs logs_;
};

TEST_F(TpktTest, CutsTheStreamIntoPayloads) {
  const struct {
    const char* name;
    std::vector<Bytes> chunks;
    std::vector<std::string> payloads;
    std::string log;
  } kCases[] = {
      {"one frame", {{3, 0, 0, 7, 0x41, 0x42, 0x43}}, {"41 42 43"}, ""},
      {"one byte at a time", {{3}, {0}, {0}, {7}, {0x41}, {0x42}, {0x43}}, {"41 42 43"}, ""},
      {"split inside the body", {{3, 0, 0, 8, 1, 2}, {3, 4, 3, 0}, {0, 5, 9}}, {"01 02 03 04", "09"}, ""},
      {"two frames in one read", {{3, 0, 0, 5, 1, 3, 0, 0, 6, 2, 3}}, {"01", "02 03"}, ""},
      {"junk before a frame",
       {{1, 2, 3, 0, 0, 5, 0xAA}},
       {"AA"},
       "(no name) bad TPKT packet start.\n(no name) bad TPKT packet start.\n"},
      {"bad reserved byte is not a start byte", {{3, 1, 3, 0, 0, 5, 7}}, {"07"}, "(no name) bad TPKT reserved.\n"},
      {"length below the header", {{3, 0, 0, 3, 3, 0, 0, 5, 8}}, {"08"}, "TPKT too small 3\n"},
      {"length zero", {{3, 0, 0, 0}}, {}, "TPKT too small 0\n"},
      {"header-only frame ending a read", {{3, 0, 0, 4}}, {"(empty)"}, ""},
      {"header-only frame between frames", {{3, 0, 0, 5, 1, 3, 0, 0, 4, 3, 0, 0, 5, 2}}, {"01", "(empty)", "02"}, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    owner_.payloads.clear();
    logs_.Clear();
    for (const Bytes& chunk : c.chunks) {
      Feed(chunk);
    }
    EXPECT_EQ(owner_.payloads, c.payloads);
    Wait(5000);
    EXPECT_EQ(logs_.Log(), c.log) << "and no frame is left pending";
  }
}

TEST_F(TpktTest, TakesTheLargestPayload) {
  Bytes frame = {3, 0, 0xFF, 0xFF};
  frame.resize(frame.size() + Tpkt_protocol::kMaxPayload, 0x5A);
  Feed(frame);
  ASSERT_EQ(owner_.payloads.size(), 1u);
  EXPECT_EQ(owner_.payloads[0].size(), Tpkt_protocol::kMaxPayload * 3 - 1);
}

TEST_F(TpktTest, DropsAPartialFrameThreeSecondsAfterItsLastByte) {
  Feed({3, 0, 0, 10, 1, 2});
  Wait(2000);
  Feed({3});
  Wait(2999);
  EXPECT_EQ(logs_.Log(), "") << "the wait restarts with every chunk";
  Wait(1);
  EXPECT_EQ(logs_.Log(), " TPKT packet timeout.\n");

  logs_.Clear();
  Feed({4, 3, 0, 0, 5, 6});
  EXPECT_EQ(owner_.payloads, std::vector<std::string>{"06"}) << "the rest of a dropped frame is read as a header";
  EXPECT_EQ(logs_.Log(), "(no name) bad TPKT packet start.\n");
}

TEST_F(TpktTest, FramesWhatItSends) {
  const struct {
    const char* name;
    unsigned size;
    Bytes header;  // empty: nothing may be written
  } kCases[] = {
      {"ten bytes", 10, {3, 0, 0, 14}},
      {"empty payload", 0, {3, 0, 0, 4}},
      {"largest payload", Tpkt_protocol::kMaxPayload, {3, 0, 0xFF, 0xFF}},
      {"one byte too many", Tpkt_protocol::kMaxPayload + 1, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes payload(c.size, 0x11);
    const Bytes written = Send(payload);
    if (c.header.empty()) {
      EXPECT_TRUE(written.empty());
      continue;
    }
    ASSERT_EQ(written.size(), c.size + 4);
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 4), c.header);
    EXPECT_EQ(Bytes(written.begin() + 4, written.end()), payload);
  }
  EXPECT_EQ(logs_.Log(), "TPKT payload too big to send, length = 65532 max = 65531\n");
}

TEST_F(TpktTest, DeactivationDropsThePartialFrameAndGoesDown) {
  Feed({3, 0, 0, 6, 1});
  owner_.deactivate();
  EXPECT_TRUE(wire_->deactivated);
  EXPECT_EQ(owner_.statuses, std::vector<std::string>{"success"});
  Feed({2, 3, 0, 0, 5, 7});
  EXPECT_EQ(owner_.payloads, std::vector<std::string>{"07"});

  Owner alone;
  alone.add_protocol_tail(new Tpkt_protocol);
  alone.deactivate();
  EXPECT_EQ(alone.statuses, std::vector<std::string>{"TPKT deactivated"});
}

// The owner may tear the stack down, or destroy it, when a payload arrives: the
// rest of the chunk is not walked, and no reassembly timer is left behind.
TEST_F(TpktTest, OwnerStoppingTheStackInsideDeliveryEndsTheChunk) {
  const Bytes two_and_a_half = {3, 0, 0, 5, 'a', 3, 0, 0, 5, 'b', 3, 0, 0};
  const struct {
    const char* name;
    std::function<void(std::unique_ptr<Owner>&)> stop;
  } kCases[] = {
      {"deactivated", [](std::unique_ptr<Owner>& owner) { owner->deactivate(); }},
      {"destroyed", [](std::unique_ptr<Owner>& owner) { owner.reset(); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto owner = std::make_unique<Owner>();
    owner->add_protocol_tail(new Wire);
    owner->add_protocol_tail(new Tpkt_protocol);
    std::vector<std::string> payloads;
    owner->on_payload = [&] {
      payloads = owner->payloads;
      c.stop(owner);
    };
    Packet chunk;
    chunk.reserve_head(0);
    chunk.put(two_and_a_half.data(), static_cast<unsigned>(two_and_a_half.size()));
    owner->receive(chunk);
    EXPECT_EQ(payloads, std::vector<std::string>{"61"});
    logs_.Clear();
    Wait(5000);
    EXPECT_EQ(logs_.Log(), "");
  }
}

}  // namespace
