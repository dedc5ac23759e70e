#pragma once

#include "hardware/HDLC.h"
#include "runtime/loop/Timer.h"
#include "runtime/protocol/CleanQueue.h"
#include "runtime/protocol/Packet.h"
#include "schemas/LGCP.h"
#include "slots/Slot.h"

#include <cstdint>
#include <ostream>

class HdlcSlotFactory;

// A plain HDLC link on one trunk timeslot for the controller: packages of an
// hdlcPackages ioctl go out as frames {address, control, body}; received
// frames for the slot's address come back in batches as hdlcPackages ioctl
// signals, and the channel's counters every 3000 ms. The slot owns its
// channel, its transmit queue and its timers.
class HdlcSlot : private Slot, public HDLC::Notify {
 public:
  // A batch is sent at the latest this long after its first package.
  static constexpr unsigned kFlushMs = 100;
  static constexpr unsigned kUpdateMs = 3000;
  static constexpr unsigned kQueueSize = 120;
  // A batch ends at this many packages or body octets, so its signal stays
  // decodable and fits one TPKT frame.
  static constexpr size_t kBatchPackages = 128;
  static constexpr size_t kBatchOctets = 60000;

  void on_hdlc_receive(Packet& packet) override;
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;
  // "HdlcSlot[trunk/*]: "
  void PutHeader(std::ostream& os) const;

 private:
  friend class HdlcSlotFactory;
  // The fuzz target drives the receive path of a slot built outside the table.
  friend struct HdlcSlotProbe;

  explicit HdlcSlot(const LGCP::HdlcParams& params);

  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  // hdlcPackages: true once every package is queued or counted as dropped.
  bool Ioctl(const LGCP::IoctlParams& params) override;
  int GetConnectionPriority() const override { return 1; }
  bool IHwConnectTransmitter(Slot* destination) override;
  bool IHwConnectReceiver(Slot* source) override;
  bool IHwDisconnectTransmitter(Slot* destination) override;
  bool IHwDisconnectReceiver(Slot* source) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  const char* GetName() const override { return "hdlc-slot"; }

  void Connect(const char* operation, int tdm);
  void Disconnect(const char* operation);
  void iactivate();
  void Queue(const LGCP::HdlcPackage& package);
  // Adds the frame's body to the batch when the frame is for this address.
  void enqResponce(Packet packet);
  void flushResponce();
  void OnUpdateTimer();
  void UpdateHDLC_Statistics();
  void Trace(const char* text) const;

  // What the update timer runs, and when: the statistics every kUpdateMs.
  static const TimerSpec<HdlcSlot>::Spec TUpdatespec;

  HDLC channel_;
  LGCP::IoctlResponse response_;
  size_t batch_octets_ = 0;
  unsigned trunk_;
  TimerSpec<HdlcSlot>::SpecTimer<TUpdatespec> update_timer_;
  Timer flush_timer_;
  CleanQueue<Packet, kQueueSize> queue_;
  uint16_t address_;
  uint8_t send_counter_ = 0;
  uint8_t receive_counter_ = 0;
  // Packages lost to a full queue, reported with the channel's overflows; a
  // burst of losses is logged once.
  uint32_t overflow_ = 0;
  bool dropping_ = false;
};
