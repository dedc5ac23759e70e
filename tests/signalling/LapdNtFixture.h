#pragma once

#include "hardware/HDLC.h"
#include "signalling/LAPDNT.h"
#include "tests/signalling/LapdFixture.h"

namespace lapd_test {

// The network side of a BRI bus on a channel (an in-memory end or an MCC
// channel of the simulated board): its owner sends its frames onto the
// channel and hands it what the channel receives.
template <class Channel>
struct NtOn : test_support::LinkOwner, HDLC::Notify {
  NtOn() : NtOn(new ISDN::LAPD_NT) {}
  explicit NtOn(ISDN::LAPD_NT* layer) : LinkOwner(layer), link(layer) { end.notify = this; }

  void transmit(Packet& frame) override { (void)end.hdlc_transmit(frame); }
  void on_hdlc_receive(Packet& frame) override { link->receive(frame); }
  void on_hdlc_error(Cause::Type) override {}
  void on_hdlc_ready() override {}

  void Send(const Bytes& message) {
    Packet packet = PacketOf(message);
    link->message(packet);
  }
  std::vector<Bytes> TakeSent() { return end.TakeSent(); }

  ISDN::LAPD_NT* link;  // owned by the LinkOwner base
  Channel end;
};
using NtSide = NtOn<test_support::HdlcEnd>;

// A Q.931 message on call reference cr (flag included) with a counter.
inline Bytes Q931On(uint8_t cr, uint8_t type, unsigned n) {
  Bytes message = Q931(type, n);
  message[2] = cr;
  return message;
}

// TEI management frames: the terminals send octet 1 0xFC, the network 0xFE.
inline Bytes TeiFrame(bool network, uint16_t ri, uint8_t type, unsigned ai) {
  return {static_cast<uint8_t>(network ? 0xFE : 0xFC),
          0xFF,
          0x03,
          0x0F,
          static_cast<uint8_t>(ri),
          static_cast<uint8_t>(ri >> 8),
          type,
          static_cast<uint8_t>(ai << 1 | 1)};
}

// Two user-side terminals (BRI) and the network side on one bus, the loop
// clock frozen.
struct Bus {
  Bus() {
    for (Side* t : {&a, &b}) {
      test_support::HdlcEnd::Join(nt.end, t->end);
      t->link->mdl_remove();
    }
  }
  void Step(uint64_t ms) {
    clock.Advance(ms);
    control_test::RunUntil([this] { return nt.end.InFlight() == 0 && a.end.InFlight() == 0 && b.end.InFlight() == 0; },
                           50);
  }
  template <class Done>
  bool StepUntil(Done done, uint64_t limit_ms) {
    for (uint64_t ms = 0; ms < limit_ms && !done(); ms += 10) {
      Step(10);
    }
    return done();
  }
  static bool Up(const Side& t) { return t.link->full_state().state == LAPD::kMultipleFrameEstablished; }
  // Messages of the call reference cr (without its flag) among those received.
  static std::vector<Bytes> OnCall(const std::vector<Bytes>& messages, uint8_t cr) {
    std::vector<Bytes> on;
    for (const Bytes& m : messages) {
      if ((m[2] & 0x7F) == cr) {
        on.push_back(m);
      }
    }
    return on;
  }
  // count messages each way on each terminal's call, paced below the queue limits.
  bool Exchange(unsigned count, uint64_t limit_ms) {
    unsigned sent[2][2] = {};
    Side* terminals[] = {&a, &b};
    return StepUntil(
        [&] {
          for (unsigned t = 0; t < 2; ++t) {
            const uint8_t cr = static_cast<uint8_t>(t + 1);
            for (; sent[t][0] < count && terminals[t]->link->out_count() < 32; ++sent[t][0]) {
              terminals[t]->Send(Q931On(0x80 | cr, 0x7B, sent[t][0]));
            }
            const auto* entry = nt.link->find_Tei(terminals[t]->link->full_state().own_tei);
            for (; sent[t][1] < count && entry != nullptr && entry->out_count() < 32; ++sent[t][1]) {
              nt.Send(Q931On(cr, 0x7B, sent[t][1]));
            }
          }
          return OnCall(nt.messages, 1).size() >= count && OnCall(nt.messages, 2).size() >= count &&
                 a.owner.messages.size() >= count && b.owner.messages.size() >= count;
        },
        limit_ms);
  }

  control_test::FrozenClock clock;
  control_test::Logs logs;
  NtSide nt;
  Side a{ISDN::Side::user, true};
  Side b{ISDN::Side::user, true};
};

}  // namespace lapd_test
