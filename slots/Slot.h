#pragma once

#include "platform/RtpRecords.h"
#include "schemas/ACP.h"
#include "schemas/LEMZGW.h"
#include "schemas/LGCP.h"
#include "schemas/TERM.h"
#include "server/CtrlSrv.h"

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

class SlotFactory;

// One endpoint that the controller creates, connects, configures and destroys
// by number: the root of every slot kind. It holds its place in the connection
// graph (one source, any number of listeners, neither owned), the stream states
// last reported to the controller, and the hooks a kind overrides. The default
// hardware hooks program the TDM switch between the slots' channels.
class Slot {
 public:
  // The id of a slot that is not in the table.
  static constexpr uint32_t kNoId = ~0u;

  Slot() = default;
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;
  virtual ~Slot();

  virtual int GetTrunk() const;
  virtual int GetTrunkTimeSlot() const;
  virtual void OnTrunkStatus(unsigned trunk, ACP::TrunkState::NamedNumber state);
  // Runs after the create success has gone out.
  virtual void IAfterCreate();
  // False when the slot must wind down first; it then calls on_release() when done.
  virtual bool IBeforeDestroy();
  virtual bool IActivate(const TERM::TermActivateParams& params);
  virtual bool IDeactivate();
  virtual bool IUserData(const std::vector<char>& bytes);
  virtual bool Ioctl(const LGCP::IoctlParams& params);
  // Of the two ends of a connection, the one with the higher priority does the
  // hardware work; on a tie the receiving side connects and the transmitting side cuts.
  virtual int GetConnectionPriority() const;
  virtual bool IHwConnectTransmitter(Slot* destination);
  virtual bool IHwConnectReceiver(Slot* source);
  virtual bool IHwDisconnectTransmitter(Slot* destination);
  virtual bool IHwDisconnectReceiver(Slot* source);
  // Asked when a connection first needs the stream; false when there is none to offer.
  virtual bool IOnOutputStream();
  virtual bool IOnInputStream();
  // The stream is no longer used by any connection.
  virtual void IOnOutputRelease();
  virtual void IOnInputRelease();
  // TDM switch channels; -1 for none.
  virtual int IGetTransmitChannel() const;
  virtual int IGetReceiveChannel() const;
  // The kind's name in log lines.
  virtual const char* GetName() const = 0;
  // The slot is deleted while it is still winding down (the controller went
  // away): give back now whatever the wind-down would have released.
  virtual void IOnForcedRelease();

  uint32_t GetId() const { return id_; }
  Slot* GetSource() const { return source_; }
  // Sorted by identity, without duplicates.
  const std::vector<Slot*>& GetListeners() const { return listeners_; }
  SlotFactory* GetFactory() const { return factory_; }
  bool IsDestroying() const { return destroying_; }
  bool IsInputOn() const { return input_on_; }
  bool IsOutputOn() const { return output_on_; }

  // Leaves its factory's list; false (and nothing else) when IBeforeDestroy says
  // wind down first, or when the slot was released, and so deleted, inside it.
  [[nodiscard]] bool BeforeDestroy();
  // The wind-down is complete: the table answers a delayed destroy and deletes the slot.
  // Does nothing unless destruction has begun.
  void on_release();
  void LogicalConnect(Slot* source);
  void LogicalDisconnect();

  // "07:trunk", "1023:map", "i1024:x", "na:map" for a slot not in the table.
  void Put(std::ostream& os) const;

  // Each sends one signal with this slot's number.
  void OnTonecEvent(const LGCP::TonecEvent& event);
  void OnNumber(const std::string& number);
  void OnModem(const TERM::ModemProceeding& proceeding);
  void OnModem(const TERM::ModemInformation& information);
  void OnActivated();
  void OnDeactivated();
  void OnAbort(int cause);
  void OnUserData(const std::vector<char>& bytes);
  void OnIoctlResponse(const LGCP::IoctlResponse& response);
  void OnRtpRadioEvent(const TERM::RtpRadioRequest& request);
  void OnVADEvent(const LGCP::VADEvent& event);
  void OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& packets);
  void OnSDEvent(const LGCP::SDEvent& event);
  void OnRtpEvent(const LGCP::RtpEvent& event);

  // Report a stream state to the controller once per change. Switching the
  // input off cuts the slot from its source; switching the output off cuts
  // every listener before the signal goes out.
  void OnChangeInputStream(bool on);
  void OnChangeOutputStream(bool on);

  // Device events turned into signals, for the kinds that receive DTMF/tone,
  // DSP and RTP events. Each takes the fields of the device's record; a
  // malformed event is dropped with a line on the error stream.
  // Tone detector: 0-127 a DTMF digit (17 CED, 18 CNG); above, an IVA code in bits 8 and up.
  void processTonecEvent(uint32_t code, uint32_t timestamp);
  // The tone generator finished.
  void processToneGenEvent();
  void processToneFltEvent(uint32_t frequency, uint8_t presence);
  // A negative direction was not reported.
  void processVADEvent(int32_t rx, int32_t tx);
  void processSDEvent(int32_t rx);
  // Bit 29 voice received, bit 30 voice sent, bit 31 SELCAL in progress; mask says which are reported.
  void processFlagsEvent(uint32_t values, uint32_t mask);
  void processBSSEvent(float score);
  // Type 1 is the packet detector.
  void processRtpEvent(const rtp_event& event);

  // The default hardware paths through the TDM switch.
  [[nodiscard]] static bool MuxConnect(Slot* source, Slot* destination);
  [[nodiscard]] static bool MuxDisconnect(Slot* destination);

 protected:
  void SendSignal(const LGCP::Signal& signal);
  // Disconnects every listener, first one first, as many times as there were
  // listeners at the start: a cut that failed to unlink its listener must not
  // loop forever. A list found empty before that writes missing_line to the
  // error stream.
  void DisconnectListeners(const char* missing_line);

 private:
  friend class SlotFactory;
  friend class Slots;

  uint32_t id_ = kNoId;
  std::vector<Slot*> listeners_;
  Slot* source_ = nullptr;
  SlotFactory* factory_ = nullptr;
  bool input_on_ = false;
  bool output_on_ = false;
  bool destroying_ = false;
  // A destroy command answered later: its sequence number, if it carried one.
  std::optional<CtrlSrv::DelayedSeq> pending_cmd_;
};

std::ostream& operator<<(std::ostream& os, const Slot& slot);
