// Our user side against libpri's network side, an independent Q.921 and
// Q.931 stack, driven only through its public API. libpri writes each frame
// with two octets of room for the check sequence and expects them on what it
// reads; the channel between adds and strips them.
#include "signalling/LAPD.h"

#include "hardware/GenericHDLC.h"
#include "tests/signalling/LapdFixture.h"

#include <gtest/gtest.h>

extern "C" {
#include <libpri.h>
}

#include <algorithm>
#include <deque>
#include <vector>

namespace {

using namespace lapd_test;

// The D channel between our link and libpri, both ends in memory.
class Peer : public GenericHDLC {
 public:
  explicit Peer(bool bri) : link(new LAPD(ISDN::Side::user, 0)), owner(link) {
    link->hdlc = this;
    if (bri) {
      link->change_to_bri();
      pri = pri_new_bri_cb(-1, 0, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, &Peer::Read, &Peer::Write, this);
    } else {
      pri = pri_new_cb(-1, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, &Peer::Read, &Peer::Write, this);
    }
  }

  bool hdlc_transmit(Packet& packet) override {
    Bytes frame(packet.data(), packet.data() + packet.length());
    frame.insert(frame.end(), {0, 0});
    to_pri_.push_back(frame);
    return true;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }

  void Send(const Bytes& message) {
    Packet packet = PacketOf(message);
    link->message(packet);
  }
  // Passes frames both ways until the channel is quiet, then moves our clock.
  void Step(uint64_t ms) {
    for (int round = 0; round < 100 && (!to_pri_.empty() || !to_link_.empty()); ++round) {
      while (!to_pri_.empty()) {
        if (pri_event* e = pri_check_event(pri)) {
          events.push_back(e->e);
        }
      }
      while (!to_link_.empty()) {
        Packet frame = PacketOf(to_link_.front());
        to_link_.pop_front();
        link->receive(frame);
      }
    }
    clock.Advance(ms);
    control_test::RunPasses(2);
  }
  template <class Done>
  bool StepUntil(Done done) {
    for (int i = 0; i < 3000 && !done(); ++i) {
      Step(10);
    }
    return done();
  }
  bool Up() const { return link->full_state().state == LAPD::kMultipleFrameEstablished; }
  bool Saw(int event) const { return std::find(events.begin(), events.end(), event) != events.end(); }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  LAPD* link;  // owned by owner
  test_support::LinkOwner owner;
  struct pri* pri = nullptr;
  std::vector<int> events;

 private:
  static int Read(struct pri* pri, void* buf, int size) {
    auto* self = static_cast<Peer*>(pri_get_userdata(pri));
    if (self->to_pri_.empty()) {
      return 0;
    }
    const Bytes frame = self->to_pri_.front();
    self->to_pri_.pop_front();
    const int n = std::min(size, static_cast<int>(frame.size()));
    std::copy(frame.begin(), frame.begin() + n, static_cast<uint8_t*>(buf));
    return n;
  }
  static int Write(struct pri* pri, void* buf, int size) {
    auto* self = static_cast<Peer*>(pri_get_userdata(pri));
    const auto* bytes = static_cast<const uint8_t*>(buf);
    if (size > 2) {
      self->to_link_.emplace_back(bytes, bytes + size - 2);
    }
    return size;
  }

  std::deque<Bytes> to_pri_;
  std::deque<Bytes> to_link_;
};

// SETUP, call reference 1 of two octets: bearer speech A-law, B channel 1
// of a primary-rate interface, called number 123.
const Bytes kSetup = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18,
                      0x03, 0xA1, 0x83, 0x81, 0x70, 0x04, 0x81, '1',  '2',  '3'};

TEST(LibpriPeer, PriNetworkEstablishesAndSetupPassesBothWays) {
  Peer peer(false);
  ASSERT_NE(peer.pri, nullptr);
  peer.link->local_activate();
  ASSERT_TRUE(peer.StepUntil([&] { return peer.Up(); }));

  peer.Send(kSetup);
  ASSERT_TRUE(peer.StepUntil([&] { return peer.Saw(PRI_EVENT_RING); }));

  q931_call* call = pri_new_call(peer.pri);
  ASSERT_NE(call, nullptr);
  pri_sr* request = pri_sr_new();
  pri_sr_set_channel(request, 2, 1, 0);
  pri_sr_set_bearer(request, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
  char called[] = "456";
  pri_sr_set_called(request, called, PRI_UNKNOWN, 1);
  ASSERT_EQ(pri_setup(peer.pri, call, request), 0);
  pri_sr_free(request);
  ASSERT_TRUE(peer.StepUntil([&] {
    for (const Bytes& m : peer.owner.messages) {
      if (m.size() > 4 && m[0] == 0x08 && m[1] == 2 && m[4] == 0x05) {
        return true;
      }
    }
    return false;
  }));
  EXPECT_TRUE(peer.Up());
}

TEST(LibpriPeer, BriNetworkAssignsATei) {
  Peer peer(true);
  ASSERT_NE(peer.pri, nullptr);
  peer.link->mdl_remove();
  peer.link->local_activate();
  ASSERT_TRUE(peer.StepUntil([&] { return peer.Up(); }));
  const unsigned tei = peer.link->full_state().own_tei;
  EXPECT_GE(tei, 64u);
  EXPECT_LE(tei, 126u);
}

}  // namespace
