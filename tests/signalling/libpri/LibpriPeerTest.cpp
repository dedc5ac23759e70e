// Our user and BRI network sides against libpri, an independent Q.921 and
// Q.931 stack, driven only through its public API. libpri writes each frame
// with two octets of room for the check sequence and expects them on what it
// reads; the channel between adds and strips them.
#include "signalling/LAPD.h"
#include "signalling/LAPDNT.h"

#include "hardware/GenericHDLC.h"
#include "tests/signalling/LapdFixture.h"
#include "tests/signalling/libpri/PriFrames.h"

#include <gtest/gtest.h>

extern "C" {
#include <libpri.h>
}

#include <algorithm>
#include <deque>
#include <vector>

namespace {

using namespace lapd_test;

// The D channel between one of our links and libpri, both ends in memory,
// with our loop clock frozen.
class Wire {
 public:
  virtual ~Wire() = default;

  // Passes frames both ways until the channel is quiet, then moves our clock.
  void Step(uint64_t ms) {
    for (int round = 0; round < 100 && (!frames_.Empty() || !to_link_.empty()); ++round) {
      while (!frames_.Empty()) {
        if (pri_event* e = pri_check_event(pri)) {
          events.push_back(e->e);
        }
      }
      while (!to_link_.empty()) {
        Packet frame = PacketOf(to_link_.front());
        to_link_.pop_front();
        Deliver(frame);
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
  bool Saw(int event) const { return std::find(events.begin(), events.end(), event) != events.end(); }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  struct pri* pri = nullptr;
  std::vector<int> events;

 protected:
  virtual void Deliver(Packet& frame) = 0;
  void ToPri(const Packet& packet) { frames_.Queue(Bytes(packet.data(), packet.data() + packet.length())); }

  PriFrames frames_{[this](Bytes frame) { to_link_.push_back(std::move(frame)); }};

 private:
  std::deque<Bytes> to_link_;
};

// Our user side against libpri's network side.
class Peer : public Wire, public GenericHDLC {
 public:
  explicit Peer(bool bri) : link(new LAPD(ISDN::Side::user, 0)), owner(link) {
    link->hdlc = this;
    if (bri) {
      link->change_to_bri();
      pri = pri_new_bri_cb(-1, 0, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, &PriFrames::Read, &PriFrames::Write, &frames_);
    } else {
      pri = pri_new_cb(-1, PRI_NETWORK, PRI_SWITCH_EUROISDN_E1, &PriFrames::Read, &PriFrames::Write, &frames_);
    }
  }

  bool hdlc_transmit(Packet& packet) override {
    ToPri(packet);
    return true;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }

  void Send(const Bytes& message) {
    Packet packet = PacketOf(message);
    link->message(packet);
  }
  bool Up() const { return link->full_state().state == LAPD::kMultipleFrameEstablished; }

  LAPD* link;  // owned by owner
  test_support::LinkOwner owner;

 private:
  void Deliver(Packet& frame) override { link->receive(frame); }
};

// Our BRI network side against libpri as a point-to-multipoint terminal.
class Terminal : public Wire, public test_support::LinkOwner {
 public:
  Terminal() : Terminal(new ISDN::LAPD_NT) {}
  explicit Terminal(ISDN::LAPD_NT* layer) : LinkOwner(layer), link(layer) {
    pri = pri_new_bri_cb(-1, 0, PRI_CPE, PRI_SWITCH_EUROISDN_E1, &PriFrames::Read, &PriFrames::Write, &frames_);
  }
  void transmit(Packet& frame) override { ToPri(frame); }

  ISDN::LAPD_NT* link;  // owned by the LinkOwner base

 private:
  void Deliver(Packet& frame) override { link->receive(frame); }
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

TEST(LibpriPeer, BriTerminalGetsATeiFromOurNetworkSideAndItsSetupArrives) {
  Terminal terminal;
  ASSERT_NE(terminal.pri, nullptr);
  terminal.link->local_activate();
  q931_call* call = pri_new_call(terminal.pri);
  ASSERT_NE(call, nullptr);
  pri_sr* request = pri_sr_new();
  pri_sr_set_channel(request, 1, 0, 0);
  pri_sr_set_bearer(request, PRI_TRANS_CAP_SPEECH, PRI_LAYER_1_ALAW);
  char called[] = "456";
  pri_sr_set_called(request, called, PRI_UNKNOWN, 1);
  ASSERT_EQ(pri_setup(terminal.pri, call, request), 0);
  pri_sr_free(request);
  ASSERT_TRUE(terminal.StepUntil([&] {
    for (const Bytes& m : terminal.messages) {
      if (m.size() > 3 && m[0] == 0x08 && m[1] == 1 && m[3] == 0x05) {
        return true;
      }
    }
    return false;
  }));
  const ISDN::LAPD_NT_user* entry = terminal.link->find_Tei(64);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->link(), ISDN::LAPD_NT_user::Link::kUp);
}

}  // namespace
