#pragma once

#include "runtime/loop/Timer.h"
#include "runtime/protocol/CleanQueue.h"
#include "runtime/protocol/Packet.h"
#include "runtime/protocol/Protocol.h"
#include "signalling/Cyclic.h"

#include <cstdint>
#include <iosfwd>
#include <optional>

namespace ISDN {

class LAPD_NT;

// One terminal on the bus as the network side sees it: its TEI and a small
// data link of its own (modulo 128, window 7, P = 1 on every I frame).
// Messages wait in the out queue until the window and the terminal allow
// them; sent ones stay in the ack queue, unframed, until acknowledged, so a
// resent frame carries the N(R) of its resending.
class LAPD_NT_user {
 public:
  using Sequence = Cyclic<unsigned int, 127u>;
  enum State : uint8_t { kUnassigned = 0, kAssigned = 1, kWaitAnswer = 2 };
  // The data link as far as this side knows: down (released or never set
  // up), SABME sent and not yet answered, or up.
  enum class Link : uint8_t { kDown, kSetup, kUp };

  static constexpr unsigned kWindow = 7;
  static constexpr unsigned kIdlePoll = 10000;
  static constexpr unsigned kAnswerWait = 1000;
  static constexpr unsigned kCheckWait = 2000;
  static constexpr unsigned kRetries = 3;
  static constexpr unsigned kOutCapacity = 135;
  static constexpr unsigned kOutLimit = 128;

  // Not explicit: the owner builds its array of entries from {this}.
  LAPD_NT_user(LAPD_NT* owner) : owner_(owner) {}  // NOLINT

  // Takes the TEI and sets up the data link with SABME; on an entry in a
  // check, only ends the check.
  void assign(unsigned tei);
  // Frees the entry (and its TEI) without a word to the terminal.
  void unassign();
  // Frees the entry and tells the terminal (identity remove) first, so the
  // TEI is not handed out while the terminal still uses it.
  void remove();
  // The TEI check began: unanswered within kCheckWait, the entry is removed.
  void checking();
  // A frame from the terminal, address first; response is its C/R bit.
  void receive(const Packet& frame, bool response);
  // True when the entry holds the message's call reference and took it.
  [[nodiscard]] bool message(const Packet& l3);
  void set_log(unsigned level) { trace_level_ = level; }

  State state() const { return state_; }
  Link link() const { return link_; }
  unsigned tei() const { return tei_; }
  bool is_checking() const { return checking_; }
  bool busy() const { return busy_; }
  // The reference the terminal answers checks with, once known.
  std::optional<uint16_t> ri() const { return ri_; }
  void set_ri(uint16_t ri) { ri_ = ri; }
  unsigned outstanding() const { return vs_ - va_; }
  unsigned out_count() const { return out_.count(); }
  void PutHeader(std::ostream& os) const;

 private:
  void Establish();
  void Release();
  // True when an I frame went out.
  bool Pump();
  // False (and the link set up again) for an N(R) outside V(A)..V(S).
  [[nodiscard]] bool ack_queue(Sequence nr);
  void ResendFrom();
  void on_timer();
  void OnCheckTimer();
  void set_busy();
  void set_unbusy();
  void OnI(const Packet& frame, bool poll, Sequence ns, Sequence nr);
  void OnS(uint8_t control, bool command, bool pf, Sequence nr);
  void OnU(uint8_t code, bool command, bool pf);
  void tx_U(uint8_t code, bool command, bool pf);
  void tx_S(uint8_t code, bool command, bool pf);
  void tx_I(const Packet& l3, Sequence ns);
  void Trace(const char* text) const;

  LAPD_NT* owner_;
  State state_ = kUnassigned;
  Link link_ = Link::kDown;
  bool checking_ = false;
  bool busy_ = false;
  bool reject_exception_ = false;
  Sequence vr_;
  Sequence va_;
  Sequence vs_;
  uint8_t tei_ = 0;
  uint8_t call_ref_ = 0;
  unsigned retries_ = 0;
  unsigned trace_level_ = 0;
  std::optional<uint16_t> ri_;
  Timer timer_;
  Timer check_timer_;
  CleanQueue<Packet, kOutCapacity> out_;
  CleanQueue<Packet, kWindow> ack_;
};

// The network side of a basic-rate D channel: the TEI manager of the bus and
// up to eight terminal entries. A SETUP from above goes to every terminal as
// a broadcast UI frame; any other message goes to the terminal holding its
// call reference; what the terminals send comes up. Frames leave through
// transmit() to the layer below or the owner.
class LAPD_NT : public Protocol {
 public:
  static constexpr unsigned kEntries = 8;
  static constexpr unsigned kCheckCycle = 60000;
  static constexpr unsigned kCheckRepeat = 1000;

  LAPD_NT();

  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& packet) override;
  void receive(Packet& packet) override;

  // The channel below failed: no frame can pass, so every terminal is let go
  // and an active link reports itself down.
  void on_hdlc_error();

  void set_log(unsigned level);
  // The first assigned entry with the TEI.
  LAPD_NT_user* find_Tei(unsigned tei);
  // The first unassigned entry and, in tei, ai or, for 127, the lowest of 64
  // to 126 that no assigned entry holds; none when nothing is left.
  LAPD_NT_user* find_free_Tei(unsigned ai, unsigned& tei);
  void check_all_Tei();
  // Sends a frame down, traced at trace levels above 2.
  void send(Packet& frame);
  // A TEI-management frame to the group TEI.
  void tx_tei(uint16_t ri, uint8_t type, unsigned ai);
  // Identity remove, twice, as for any TEI taken back.
  void remove_tei(unsigned ai);
  void PutHeader(std::ostream& os) const;

  const LAPD_NT_user& entry(unsigned i) const { return entries_[i]; }
  unsigned trace_level() const { return trace_level_; }

 private:
  void on_tei_procedure(const Packet& frame);
  void OnCheckTimer();
  void OnCheckRepeat();

  Timer check_timer_;
  Timer repeat_timer_;
  LAPD_NT_user entries_[kEntries];
  unsigned trace_level_ = 0;
  bool active_ = false;
};

}  // namespace ISDN
