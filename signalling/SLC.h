#pragma once

#include "hardware/HDLC.h"
#include "runtime/loop/Timer.h"
#include "runtime/protocol/CleanQueue.h"
#include "runtime/protocol/Packet.h"
#include "runtime/protocol/Protocol.h"
#include "signalling/Cyclic.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>

class GenericHDLC;

namespace SS7 {

// Signalling link control of SS7 MTP level 2 (Q.703) over one HDLC channel:
// frames signal units, aligns the link with proving, and in service runs the
// basic error correction with retransmission. The HDLC channel adds and checks
// the check bits and flags; this layer sees frames without them. It owns its
// transmission and retransmission buffers and its one timer; the channel below
// is borrowed from the slot.
class SLC : public Protocol, public HDLC::Notify {
 public:
  using Sequence = Cyclic<unsigned int, 127u>;

  // The link's state; its value is also the ACP::SS7State value.
  enum class State { idle = 0, not_aligned = 1, aligned = 2, proving = 3, aligned_ready = 4, worked = 5 };
  // The status octet of an LSSU.
  enum Indication : uint8_t { SIO = 0, SIN = 1, SIE = 2, SIOS = 3 };

  // The trace switches, set together by the slot.
  struct Log {
    bool state = false;
    bool raw_receive = false;
    bool raw_transmit = false;
    bool mtp_transmit = false;
    bool mtp_receive = false;
    bool mtp_activate = false;
    bool timers = false;
    bool msu_processing = false;
  };

  // What the slot reports, in this order.
  struct Statistics {
    uint32_t msuTx = 0;     // FISUs and MSUs handed to the channel
    uint32_t msuRx = 0;     // received units of 3 octets or more
    uint32_t octetsTx = 0;  // octets of those sent, header included
    uint32_t octetsRx = 0;  // octets of every received frame
    uint32_t overflow = 0;  // MSUs refused from above
    uint32_t rtbSize = 0;   // MSUs unacknowledged when taken
    uint32_t repeat = 0;    // retransmissions
    uint32_t badSeq = 0;    // negative acknowledgements sent
  };

  // MSUs from above wait in the TB up to this many; at most kRtbLimit are
  // sent and unacknowledged.
  static constexpr unsigned kTbLimit = 200;
  static constexpr unsigned kRtbLimit = 127;

  SLC();
  ~SLC() override;

  void local_activate() override;
  void local_deactivate() override;
  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  // An MSU payload (SIO and SIF) from layer 3; taken only in service.
  void message(Packet& packet) override;
  // One frame from the channel.
  void receive(Packet& packet) override;
  const Protocol_name& name() const override { return name_; }
  void protocol_info(std::ostream& os) override;

  void on_hdlc_receive(Packet& packet) override;
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

  // The trunk below went bad (or good again).
  void OnTrunkHardStatus(bool ok);
  const Statistics& statistics();
  State get_state_id() const { return current_; }
  static const char* StateName(State id);
  static const char* IndicationName(uint8_t indication);
  // "SS7/L2 [dpc=1, slc=2, trunk=3] (idle): "
  void PutHeader(std::ostream& os) const;

  // What the buffers hold, for statistics and checks.
  unsigned rtb_count() const { return rtbCount_; }
  Sequence rtb_first() const { return rtbFirst_; }
  Sequence rtb_last() const { return rtbLast_; }
  unsigned tb_count() const { return tb_.count(); }
  // The backward sequence number it sends.
  Sequence bsnt() const { return bsnt_; }
  bool timer_pending() const { return timer_.get() != nullptr; }

  Log log;
  GenericHDLC* hdlc = nullptr;
  unsigned trunk = 0;
  unsigned slc = 0;
  unsigned dpc = 0;
  unsigned opc = 0;
  // Proving uses the emergency values.
  bool emergency = false;

 private:
  enum class SendResult { sent, refused, lost };

  // Leaves the current state, then enters the target, also when it is the current one.
  void next_state(State target);
  // Every state's leave action: its timer stops and its unsent LSSU is dropped.
  void on_leave();
  void on_enter(State state);
  void receive_fisu();
  void receive_lssu(uint8_t indication);
  void receive_msu(Packet& payload);
  void proving_lssu(uint8_t indication);

  // Error correction, in service.
  void reset();
  void make_expected();
  void worked_fisu();
  void worked_msu(Packet& payload);
  // A unit whose FIB is not the one expected.
  void unexpected_fib();
  // False when the BSN took the link down: the caller stops there.
  [[nodiscard]] bool process_bsnr();
  void ack();
  void nack();
  void retransmit();
  void put_to_tb(Packet& payload);
  void process_tb();
  void empty_tb();
  SendResult send(const Packet& payload);
  void fisu();
  // The LSSUs, sent once on entering a state.
  void sio() { send_lssu(SIO); }
  void sin() { send_lssu(SIN); }
  void sie() { send_lssu(SIE); }
  void sios() { send_lssu(SIOS); }
  void send_lssu(Indication indication);
  // The channel pushed back and will report ready, as opposed to having lost the frame.
  bool channel_busy() const;

  void OnT1();
  void OnT2();
  void OnT3();
  void OnT4();
  void OnT7();
  void Expired(const char* text, State target);
  void WriteDump(std::ostream& os) const;
  void WriteBytes(std::ostream& os, const char* title, const Packet& packet) const;

  // The last received unit.
  Sequence bsnr_;
  unsigned bibr_ = 0;
  Sequence fsnr_;
  unsigned fibr_ = 0;
  unsigned li_ = 0;
  // The sending side.
  Sequence bsnt_;
  unsigned bibt_ = 0;
  Sequence fsnt_;
  unsigned fibt_ = 0;
  // Error correction.
  Sequence fsnx_;
  unsigned bibx_ = 0;
  unsigned fibx_ = 0;
  bool nackSent_ = false;
  bool badBsnSeen_ = false;
  bool badFibSeen_ = false;
  std::array<Packet, 128> rtb_;
  Sequence rtbFirst_;
  Sequence rtbLast_;
  unsigned rtbCount_ = 0;
  CleanQueue<Packet, 327> tb_;

  Timer timer_;
  State current_ = State::idle;
  Protocol_name_str name_{"MTP/L2"};
  Statistics stats_;
  // An LSSU the channel pushed back, sent again when it reports ready.
  std::optional<Indication> pending_lssu_;
  // Write errors are logged once per run of them.
  bool tx_failing_ = false;
};

}  // namespace SS7
