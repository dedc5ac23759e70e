#pragma once

#include "hardware/HDLC.h"
#include "runtime/loop/Timer.h"
#include "runtime/protocol/CleanQueue.h"
#include "runtime/protocol/Packet.h"
#include "runtime/protocol/Protocol.h"
#include "schemas/ACP.h"
#include "signalling/Cyclic.h"
#include "signalling/WaitingFrames.h"

#include <cstdint>
#include <iosfwd>
#include <random>
#include <string>

class GenericHDLC;

namespace ISDN {

struct Side {
  enum type { user = 0, network = 1 };
};
std::ostream& operator<<(std::ostream& os, Side::type side);

// "TEI unassigned" ... "Timer recovery"; "(unknown)" past 7.
const char* statetext(unsigned char state);

// The state variables of a LAPD link, copied whole into its status reports.
struct LAPDFullState {
  using Sequence = Cyclic<unsigned int, 127u>;

  // The text form, one "   - " line per group.
  void out(std::ostream& os) const;

  uint32_t state = 3;
  uint32_t own_tei = 0;
  uint32_t own_sapi = 0;
  uint32_t peer_tei = 0;
  uint32_t peer_sapi = 0;
  uint32_t rc = 0;  // T200 retransmissions, also T202 retries
  bool peer_busy = false;
  bool own_busy = false;
  bool reject_exception = false;
  bool l3_initiated = false;
  bool establishable = true;
  bool queued_up = false;
  bool retransmission_request = false;
  bool acknowledge_request = false;
  bool t200_running = false;
  bool t202_running = false;
  bool t203_running = false;
  Sequence vs;
  Sequence va;
  Sequence vr;
};

// The Q.921 data link (LAPD, modulo 128) on a D channel, user or network side
// (only C/R differs), with the user side's TEI management on a basic-rate
// interface. Layer 3 stays above: messages come down through message() and go
// up through on_message(). It owns its two queues and its one timer, which
// serves T200, T202 and T203 in turn; the channel below is borrowed.
class LAPD : public Protocol, private LAPDFullState, public HDLC::Notify {
 public:
  enum StateId : uint32_t {
    kTeiUnassigned = 0,
    kAssignAwaitingTei = 1,
    kEstablishAwaitingTei = 2,
    kTeiAssigned = 3,
    kAwaitingEstablishment = 4,
    kAwaitingRelease = 5,
    kMultipleFrameEstablished = 6,
    kTimerRecovery = 7,
  };

  // Told each time the flow status changes; it reads the new one from the link.
  class Notify {
   public:
    virtual ~Notify() = default;
    virtual void OnLAPD_FlowStatusChange(LAPD* link) = 0;
  };
  struct FlowStatus {
    enum Type { normal = 0, busy = 1 };
  };

  struct Stats {
    void out(std::ostream& os) const;

    uint32_t t200 = 0;  // expiries
    uint32_t t202 = 0;
    uint32_t t203 = 0;
    uint32_t errors = 0;  // invalid frames received, frames lost to write errors
    uint32_t retrains = 0;
    uint32_t out_overflows = 0;
    uint32_t ack_overflows = 0;
    uint32_t tx = 0;  // DL-DATA requests, every one
    uint32_t rx = 0;  // in-sequence I frames passed up
    uint32_t empty = 0;
    uint32_t rejected = 0;    // I frames out of sequence
    uint32_t badconfirm = 0;  // N(R) errors
  };

  // A report of the link: a text and the state variables when it was made.
  class Status : public Protocol_status_error, private LAPDFullState {
   public:
    Status(LAPD* link, std::string text);
    void out(std::ostream& os) const override;
  };

  static constexpr unsigned kN200 = 3;
  static constexpr unsigned kWindow = 7;
  static constexpr unsigned kT200 = 1000;
  static constexpr unsigned kT202 = 2000;
  static constexpr unsigned kT203 = 10000;
  // Out queue: more than this many waiting and a message is refused; busy
  // above kBusyAbove, normal again below kNormalBelow.
  static constexpr unsigned kOutLimit = 127;
  static constexpr unsigned kBusyAbove = 88;
  static constexpr unsigned kNormalBelow = 65;
  static constexpr unsigned kOutCapacity = 135;

  LAPD(Side::type side, unsigned trace_level);
  ~LAPD() override;

  const Protocol_name& name() const override { return name_; }
  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  // DL-ESTABLISH and DL-RELEASE requests.
  void local_activate() override;
  void local_deactivate() override;
  // DL-DATA request: one layer-3 message.
  void message(Packet& packet) override;
  // One frame from the channel.
  void receive(Packet& packet) override;

  void on_hdlc_receive(Packet& packet) override;
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

  // Management primitives.
  void mdl_assign(unsigned tei);
  void mdl_remove();

  // The channel below was opened anew: responses kept for its last opening
  // would reach whatever line it is bound to now.
  void DropWaitingResponses() { waiting_responses_.clear(); }

  // Basic-rate interface: frames filtered by TEI, TEI management on the user side.
  void change_to_bri() { bri_ = true; }

  // True (and the record kept) when the record differs from the last one reported.
  [[nodiscard]] bool GetInfo(ACP::IsdnLinkInfo& info);
  Smart_pointer<Internal_protocol_status> status();
  void show_stat();
  const char* state_text() const { return statetext(static_cast<unsigned char>(state)); }
  // "LAPD[trunk] (state): "
  void PutHeader(std::ostream& os) const;

  // For tests and checks.
  const LAPDFullState& full_state() const { return *this; }
  const Stats& stats() const { return stats_; }
  unsigned out_count() const { return out_.count(); }
  unsigned ack_count() const { return ack_.count(); }
  bool timer_pending() const { return timer_.get() != nullptr; }
  FlowStatus::Type flow_status() const { return flow_status_; }
  uint16_t ri() const { return ri_; }

  GenericHDLC* hdlc = nullptr;
  Side::type side;
  unsigned trunk = 0;
  unsigned trace_level;
  Notify* notify = nullptr;

 private:
  enum class TimerId { t200, t202, t203 };
  enum class Send { taken, refused };
  // What a received frame's address and control octets say.
  struct Frame {
    enum Kind { kI, kRR, kRNR, kREJ, kSABME, kDISC, kUA, kDM, kFRMR, kUI, kIgnored };
    Kind kind = kIgnored;
    bool command = false;
    bool pf = false;
    Sequence ns;
    Sequence nr;
  };

  // Frames.
  [[nodiscard]] Send xmit(Packet& frame);
  // Sends the frame behind the responses waiting for the channel. A response
  // the channel pushes back waits too: nothing else would answer the peer's
  // frame, and a peer still waiting for its UA drops whatever comes first.
  [[nodiscard]] Send Transmit(Packet& frame, bool response);
  Send tx_U(uint8_t code, bool command, bool pf);
  // keep: a response the channel refuses waits for it (see Transmit).
  Send tx_S(uint8_t code, bool command, bool pf, bool keep = true);
  [[nodiscard]] Send tx_I(const Packet& message);
  bool IsCommand(uint8_t octet1) const;
  [[nodiscard]] bool Decode(const Packet& packet, Frame& frame);
  void Trace(bool sent, const uint8_t* bytes, unsigned length) const;

  // Local events and queues.
  void LocalEvents();
  void SendQueued();
  void SetFlow(FlowStatus::Type flow);
  void DiscardQueues();
  void EmptyAckQueue();
  void NextState(uint32_t target);

  // Timers.
  void StartTimer(TimerId id);
  void StopTimer(TimerId id);
  bool& RunningFlag(TimerId id);
  void OnTimer();

  // Procedures by state.
  // Sends SABME and awaits the answer; by_layer3 tells whether layer 3 asked for the link.
  void Establish(bool by_layer3);
  void ClearExceptions();
  void TxEnquiry();
  void TxEnquiryResponse();
  void nr_recovery();
  void Retransmission(Sequence nr);
  bool InWindow(Sequence nr) const;
  void Released(Smart_pointer<Internal_protocol_status> why);
  void ReleasedWithError(const char* text);
  void on_error(unsigned code);
  void Report(const std::string& text);
  void OnSABME(const Frame& f);
  void OnDISC(const Frame& f);
  void OnUA(const Frame& f);
  void OnDM(const Frame& f);
  void OnFRMR();
  [[nodiscard]] bool SupervisoryInMfe(const Frame& f);
  void OnRR(const Frame& f);
  void OnREJ(const Frame& f);
  void OnRNR(const Frame& f);
  void OnSupervisoryIn7(const Frame& f, bool rnr);
  void OnI(const Frame& f, Packet& info);
  void OnT200();
  void OnT203();

  // TEI management, user side of a basic-rate interface.
  // False where no TEI is ever assigned (PRI, network side): nothing happens then.
  [[nodiscard]] bool BeginTeiAssignProcedure();
  // MDL-ASSIGN indication: the link needs a TEI. The link is its own TEI
  // management entity, which asks the network at once, so nothing else hears it.
  void on_mdl_assign() {}
  void tx_identity(uint16_t ri, unsigned ai, uint8_t type);
  void on_UI(Packet& info);
  void OnT202();
  uint16_t NewRi();

  Protocol_name_str name_{"ISDN::LAPD"};
  bool bri_ = false;
  Stats stats_;
  FlowStatus::Type flow_status_ = FlowStatus::normal;
  ACP::IsdnLinkInfo reported_;
  Timer timer_;
  CleanQueue<Packet, kOutCapacity> out_;
  CleanQueue<Packet, kWindow> ack_;
  using Waiting = WaitingFrames<kWindow>;
  Waiting waiting_responses_;
  uint16_t ri_ = 0;
  // Ri of this link's own: two links, or two boards, must not draw the same sequence.
  std::minstd_rand ri_source_;
};

// The frame trace's text buffer.
extern char logbuf[1024];

}  // namespace ISDN
