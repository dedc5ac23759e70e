#pragma once

#include "hardware/HDLC.h"
#include "runtime/loop/Timer.h"
#include "runtime/protocol/ProtocolsFamily.h"
#include "schemas/LGCP.h"
#include "signalling/LAPD.h"
#include "signalling/LAPDNT.h"
#include "signalling/WaitingFrames.h"
#include "slots/Slot.h"

class PstnFactory;

namespace SS7 {
class SLC;
}

// The endpoint of one PSTN signalling link: an HDLC channel of the MCC
// controller and at most one link layer over it (SS7 MTP2, ISDN LAPD user or
// network side, the BRI network side, nothing for CAS). Layer 3 stays in the
// controller: its messages pass as userData, the link's state comes back as
// activated / deactivated and its statistics as ioctl signals every 3000 ms.
// The slot does the hardware work of a connect with a trunk slot: it binds its
// channel to the trunk's timeslot (a BRI D channel needs both halves). The
// family owns the link layer; the slot owns the channel.
class PstnSlot : private Slot, public ProtocolsFamily, public ISDN::LAPD::Notify, public HDLC::Notify {
 public:
  static constexpr unsigned kUpdateMs = 3000;
  enum class Kind { ss7, pri, bri_user, bri_network, cas };

  ~PstnSlot() override;

  void on_hdlc_receive(Packet& packet) override;
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;
  void OnLAPD_FlowStatusChange(ISDN::LAPD* link) override;
  const Protocol_name& name() const override { return name_; }

 private:
  friend class PstnFactory;

  explicit PstnSlot(const LGCP::PstnParams& params);

  void OnTrunkStatus(unsigned trunk, ACP::TrunkState::NamedNumber state) override;
  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IUserData(const std::vector<char>& bytes) override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  int GetConnectionPriority() const override { return 1; }
  bool IHwConnectTransmitter(Slot* destination) override;
  bool IHwConnectReceiver(Slot* source) override;
  bool IHwDisconnectTransmitter(Slot* destination) override;
  bool IHwDisconnectReceiver(Slot* source) override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  const char* GetName() const override { return "pstn"; }

  // The family's callbacks.
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Smart_pointer<Internal_protocol_status> status) override;
  void on_message(Packet& packet) override;
  // What the BRI network side sends goes onto the channel, behind the frames
  // the channel pushed back; a repeat of one of those is dropped.
  void transmit(Packet& packet) override;
  // True when the channel took the frame or lost it for good.
  bool Write(Packet& frame);

  bool Bri() const { return kind_ == Kind::bri_user || kind_ == Kind::bri_network; }
  void Activate();
  void OnUpdateTimer();
  void SendIsdnInfo();
  void SendSs7Info();

  Protocol_name_str name_{"PSTN"};
  HDLC hdlc_;
  Kind kind_ = Kind::cas;
  unsigned trunk_ = 0;
  // Owned by the family; at most one is set.
  SS7::SLC* slc_ = nullptr;
  ISDN::LAPD* lapd_ = nullptr;
  ISDN::LAPD_NT* lapdNT_ = nullptr;
  HDLC::Notify* lower_ = nullptr;
  // What the channel pushed back of the BRI network side's frames: room for a
  // window of I frames and two frames more for each terminal of the bus.
  using Waiting = WaitingFrames<ISDN::LAPD_NT::kEntries*(ISDN::LAPD_NT_user::kWindow + 2)>;
  Waiting waiting_;
  ACP::TrunkState::NamedNumber lastTrunkState_ = ACP::TrunkState::unknown;
  // What the statistics timer runs, and when: the link's report every kUpdateMs.
  static const TimerSpec<PstnSlot>::Spec TUpdatespec;
  TimerSpec<PstnSlot>::SpecTimer<TUpdatespec> statsTimer_;
};
