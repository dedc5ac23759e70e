#pragma once

#include "radio/LemzRadioState.h"
#include "radio/RadioControl.h"
#include "radio/sig_proto.h"
#include "schemas/TERM.h"

namespace RTPSignalling {

// The LEMZ radio control: reads LEMZ packets from the RTP-extension session and reports them to the controller,
// and turns the controller's LEMZ status and modifiers into packets. Which packets are let through, which state
// fields a command changes, how a state becomes a packet and the periodic announcements belong to the side of the
// radio link: the gateway and workstation roles below override the four hooks.
class LemzRadioControl : public RadioControl {
 public:
  enum Role { kGatewayRole = 0, kWorkstationRole = 1 };

  LemzRadioControl(int id, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
  explicit LemzRadioControl(const rtp_ext_init_params& init);
  LemzRadioControl(int id, const Fd& rtp, const rtp_attach_session_params& join);

  bool SendASNToChan(const TERM::RadioStatus& status) override;
  // False, with nothing changed, for another protocol or an alternative that names no LEMZ command.
  bool SendASNToChan(const TERM::RadioModifier& modifier) override;
  bool GetSQU() override { return radio_.sql != 0; }

  void SetRole(Role role) { role_ = role; }
  const LemzRadioState& RadioState() const { return radio_; }
  const LemzRadioState& ChannelState() const { return channel_; }
  // Received packets dropped because the controller's messages cannot carry them.
  uint32_t UnreportablePackets() const { return unreportable_; }

  // 0; -1 when the type carries no body the state knows (the header fields are filled all the same).
  static int DecodeProto(const sig_proto& packet, LemzRadioState& state);
  // The request's status becomes the lemz status of `radio`.
  static void EncodeStatusASN(const LemzRadioState& radio, TERM::RtpRadioRequest& request);
  // The status from `radio` and the included request, a lemz modifier, from `packet` and its command.
  static void EncodeASN(const LemzRadioState& radio, const LemzRadioState& packet, TERM::RtpRadioRequest& request);
  // Update `state` in place: fields the message does not carry keep their values.
  static void DecodeASN(const TERM::LemzRadioModifier& modifier, LemzRadioState& state);
  static int DecodeASN(const TERM::LemzRadioStatus& status, LemzRadioState& state);

  // The body field of a received packet that the controller's messages cannot carry (a squelch above 103, an
  // emission type above 7, a standby byte other than 0 or 1, a caller-ID byte outside IA5), or null when the
  // packet can be reported. The receive path refuses such a packet instead of sending a report that cannot encode.
  static const char* FindUnreportableField(const sig_proto& packet);
  // The status field of `radio` that cannot be encoded (a "not configured" -1: the coder writes no negative
  // enumeration value), or null.
  static const char* FindUnreportableField(const LemzRadioState& radio);

 protected:
  // 0: encode and send the controller's state; -1 for a default initialisation, which is only stored.
  virtual int PutProtoFromRadioToChan(const LemzRadioState&) { return 0; }
  virtual int PutProtoFromChanToRadio(const LemzRadioState&) { return 0; }
  virtual bool AccessFormChanToRadio(const LemzRadioState&) { return true; }
  // 0 with the packet filled; -1 for a command this side does not send.
  virtual int EncodeProto(const LemzRadioState&, sig_proto&) { return 0; }

  // The packet header from a state, shared by both roles.
  static void EncodeHeader(const LemzRadioState& state, sig_proto& packet);
  // Encodes `radio_` as `command` and sends it; true when sent, then `time` is now.
  bool Announce(int command, uint32_t& time);

  LemzRadioState channel_;
  LemzRadioState radio_;
  uint32_t flag_time_ = 0;  // WM_FLAG, WM_TRANS and WM_SEL_CALL_TRANS
  uint32_t chan_time_ = 0;
  uint32_t remote_time_ = 0;
  uint32_t standby_time_ = 0;

 private:
  void Init();
  void OnRtpExtEvent(int fd, short revents) override;
  void OnRtpProtoRXEvent(const sig_proto& packet);
  // Packs and writes the packet: what the write returned, 0 when nothing was written.
  int SendProtoToChan(const sig_proto& packet);
  void SendRadioStateToChan(const LemzRadioState& state);
  // Logs and counts a received packet the controller cannot be told about; true when it is one.
  bool Unreportable(const sig_proto& packet, const char* field);

  Role role_ = kGatewayRole;
  uint32_t unreportable_ = 0;
};

// The gateway role: one workstation at a time holds the channel (pre-empted by a higher priority), and the radio's
// flags, channel, remote selection and standby are announced to the far end periodically and on each controller
// change.
class LemzRadioGWControl : public LemzRadioControl {
 public:
  using LemzRadioControl::LemzRadioControl;

  // The delay before the next call. Ages are taken on the wrapping millisecond clock.
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;

 protected:
  int PutProtoFromRadioToChan(const LemzRadioState& state) override;
  int PutProtoFromChanToRadio(const LemzRadioState& state) override;
  bool AccessFormChanToRadio(const LemzRadioState& state) override;
  int EncodeProto(const LemzRadioState& state, sig_proto& packet) override;
};

// The workstation role, the mirror of the gateway: the controller's commands go out as GW_* packets and every
// announcement received is reported.
class LemzRadioWSControl : public LemzRadioControl {
 public:
  using LemzRadioControl::LemzRadioControl;

 protected:
  int PutProtoFromRadioToChan(const LemzRadioState& state) override;
  int PutProtoFromChanToRadio(const LemzRadioState& state) override;
  int EncodeProto(const LemzRadioState& state, sig_proto& packet) override;
};

}  // namespace RTPSignalling
