#pragma once

#include "radio/R2sProto.h"
#include "radio/RadioControl.h"

#include <cstdint>

namespace TERM {
class ED137RadioStatus;
class ED137RadioModifier;
class ED137RadioModifierParams;
}  // namespace TERM

namespace RTPSignalling {

// Session parameters of an ED-137 radio channel (the create command's
// radio-response), with their defaults.
struct ED137RadioParams {
  bool transmission_depend_on_squ = false;
  uint32_t sigtime = 1;
  uint32_t keepalive_period = 200;  // ms
  uint32_t keepalive_multiplier = 10;
  uint32_t type = 2;      // TERM::ED137RadioType
  uint32_t txrxmode = 2;  // TERM::ED137RadioTxRxMode

  uint32_t SupervisionTime() const { return keepalive_period * keepalive_multiplier; }
};

// The init record of an ED-137 extension session: the keep-alive period in
// packet times of packet_factor x 10 ms (0 taken as 2), times sigtime.
rtp_ext_init_params MakeED137InitParams(const ED137RadioParams& params, uint16_t packet_factor);

// One radio state, as the controller gives it or as the far end sends it.
struct ED137RadioState {
  static constexpr uint32_t kRx = 0x1000;
  static constexpr uint32_t kTx = 0x2000;
  static constexpr uint32_t kDirection = 0xf000;
  static constexpr uint32_t kHeader = 0x0001;
  static constexpr uint32_t kSqi = 0x0002;

  uint32_t flags = 0;
  uint32_t ptt = 0;
  uint32_t squ = 0;
  uint32_t ptt_id = 0;
  uint32_t ptt_mute = 0;
  uint32_t ptt_summation = 0;
  uint32_t sct = 0;
  uint32_t bss_method = 0;
  uint32_t bss_quality = 0;
  uint32_t address = 0;  // network byte order
  uint32_t ssrc = 0;

  uint32_t Direction() const { return flags & kDirection; }
  bool HasSqi() const { return (flags & kSqi) != 0; }
  bool IsEqual(const ED137RadioState& other) const;
};

// The ED-137 R2S side of a radio channel: reports far-end PTT requests to the
// controller, sends the controller's radio state to the far end and keeps it
// alive, and tells the controller (abort 151) when the far end falls silent.
//
// Times are ages on the wrapping millisecond clock: a time that lies ahead of
// now (the clock stepped back) is moved to now and counts as no age, and an
// age stops growing at kMaxAge.
class ED137RadioControl : public RadioControl {
 public:
  using RadioControl::RadioControl;

  void SetParams(const ED137RadioParams& params) { params_ = params; }
  const ED137RadioParams& Params() const { return params_; }
  const ED137RadioState& RadioState() const { return radio_; }
  const ED137RadioState& ReceivedState() const { return received_; }

  bool SendASNToChan(const TERM::RadioStatus& status) override;
  bool SendASNToChan(const TERM::RadioModifier& modifier) override;
  bool GetSQU() override { return radio_.squ > 0; }

  // A received record as a state: a TX header, or an RX header with its SQI
  // (the last of several wins); address and SSRC from the record's source.
  // -1, the state unchanged, for a record of another type.
  static int DecodeProto(const r2s_proto& proto, ED137RadioState& state);

  // Cause given to the controller while the far end is silent.
  static constexpr int kLostKeepAlive = 151;

 protected:
  virtual int PutProtoFromRadioToChan(const ED137RadioState&) { return 0; }
  virtual int PutProtoFromChanToRadio(const ED137RadioState&) { return 0; }
  virtual bool AccessFormChanToRadio(const ED137RadioState&) { return true; }
  virtual int EncodeProto(const ED137RadioState&, r2s_proto&) { return 0; }

  void SendProtoToChan(const r2s_proto& proto);

  ED137RadioParams params_;
  ED137RadioState received_;
  ED137RadioState radio_;
  uint32_t last_keepalive_ = now_;
  uint32_t last_report_ = now_;
  uint32_t last_r2s_ = now_;

 private:
  void OnRtpExtEvent(int fd, short revents) override;
  void OnRtpProtoRXEvent(const r2s_proto& proto);
  bool NeedSendProto(const ED137RadioState& state) const;
  void SendRadioStateToChan(const ED137RadioState& state);
};

// The gateway role, which the ED-137 radio slot uses.
class ED137RadioGWControl : public ED137RadioControl {
 public:
  using ED137RadioControl::ED137RadioControl;

 protected:
  int PutProtoFromRadioToChan(const ED137RadioState& state) override;
  int PutProtoFromChanToRadio(const ED137RadioState& state) override;
  bool AccessFormChanToRadio(const ED137RadioState& state) override;
  int EncodeProto(const ED137RadioState& state, r2s_proto& proto) override;

 private:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;
};

}  // namespace RTPSignalling
