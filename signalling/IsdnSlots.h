#pragma once

#include "hardware/GenericHDLC.h"
#include "runtime/loop/Event.h"
#include "runtime/net/Fd.h"
#include "runtime/protocol/ProtocolsFamily.h"
#include "signalling/LAPD.h"
#include "slots/Slot.h"

#include <ostream>

class IsdnFactory;

// An ISDN D channel whose LAPD runs here while layer 3 runs in the
// controller, on a channel descriptor of its own ("/dev/mcc/ctl"): the slot
// is the LAPD's transmitter, writing and reading whole frames. Messages pass
// as userData, the link's state as activated / deactivated with an
// isdnLinkInfo report. The slot framework joins its channel to trunks
// through the TDM switch. The family owns the LAPD; the registration owns
// the descriptor.
class IsdnSlot : public Slot, public ProtocolsFamily, public ISDN::LAPD::Notify, public GenericHDLC {
 public:
  // "isdn-slot[channel]: "
  void PutHeader(std::ostream& os) const;

  bool hdlc_transmit(Packet& packet) override;
  bool is_open() const override { return static_cast<bool>(event_.GetFd()); }
  bool is_ready() const override { return ready_; }
  void OnLAPD_FlowStatusChange(ISDN::LAPD*) override {}
  const Protocol_name& name() const override { return name_; }

 protected:
  friend class IsdnFactory;

  // Takes the LAPD; registers a duplicate of fd under name.
  IsdnSlot(const Fd& fd, int channel, ISDN::LAPD* lapd, const char* name);

  bool IActivate(const TERM::TermActivateParams& params) override;
  bool IDeactivate() override;
  bool IUserData(const std::vector<char>& bytes) override;
  bool Ioctl(const LGCP::IoctlParams&) override { return false; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "MCC"; }

  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Smart_pointer<Internal_protocol_status> status) override;
  void on_message(Packet& packet) override;
  // The LAPD writes through hdlc_transmit; nothing goes through the family.
  void transmit(Packet&) override {}

  void OnEvent(int fd, short revents);
  // Reads one frame and passes it up; false when the read failed the channel.
  bool ReadFrame(int fd);
  // The descriptor failed: it is let go and the LAPD hears the channel is gone.
  void Fail();
  void SendIsdnInfo();

  int channel_;
  Event event_;
  ISDN::LAPD* lapd_;
  bool ready_ = false;
  Protocol_name_str name_{"ISDN/HDLC"};
};

// An ISDN D channel for ATS-QSIG on the DSP data device; it can add B
// channels on its descriptor.
class AtsQsigSlot : public IsdnSlot {
 public:
  // A B channel slot for index 0..2 on this D channel; none, with an error
  // line, when the driver refuses.
  std::unique_ptr<Slot> NewBChannel(unsigned index);
  // Gives a B channel back to the driver.
  void ReleaseBChannel(unsigned index, int bchannel);

 private:
  friend class IsdnFactory;
  using IsdnSlot::IsdnSlot;

  bool IBeforeDestroy() override;
  const char* GetName() const override { return "ATS-QSIG"; }
};

// One B channel of an ATS-QSIG D channel: a plain TDM endpoint, released to
// the driver before it goes.
class AtsQsigBSlot : public Slot {
 public:
  AtsQsigBSlot(uint32_t parent, unsigned index, int bchannel) : parent_(parent), index_(index), bchannel_(bchannel) {}

 private:
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() const override { return bchannel_; }
  int IGetReceiveChannel() const override { return bchannel_; }
  const char* GetName() const override { return "ATS-QSIG-B"; }

  uint32_t parent_;
  unsigned index_;
  int bchannel_;
};
