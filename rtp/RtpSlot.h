#pragma once

#include "hardware/DSProcReceiver.h"
#include "hardware/TonecReceiver.h"
#include "platform/RtpRecords.h"
#include "rtp/RTPC.h"
#include "runtime/loop/Event.h"
#include "runtime/net/Fd.h"
#include "slots/Slot.h"

#include <netinet/in.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <ostream>

// The step of a session set-up that failed.
enum class RtpSessionStep { kOpen, kBegin, kAddChannel };

// Opens a session of the RTP device, begins it with the record and adds its
// TDM channel; on success session holds the descriptor and info the channel
// the driver gave. On failure nothing stays open and errno tells why.
[[nodiscard]] std::optional<RtpSessionStep> OpenRtpSession(const rtp_connection_params& params, rtp_channel_info& info,
                                                           Fd& session);

// One voice channel of the TDM fabric carried as an RTP stream by the kernel
// RTP driver: the slot holds the driver session, the RTCP socket from which
// it announces and ends the session, and the tone and DSP receivers of its
// channel. The driver's packet-detector events come back as rtp signals.
class RtpSlot : public Slot, private Hardware::TonecReceiver, private Hardware::DSProcReceiver {
 public:
  RtpSlot(int channel, const Fd& session, const rtp_connection_params& params);
  ~RtpSlot() override;

  void IAfterCreate() override;
  // Ends the driver session and frees the channel in the switch.
  bool IBeforeDestroy() override;
  bool Ioctl(const LGCP::IoctlParams& params) override;
  // Neither stream is offered once the slot has given up its channel.
  bool IOnOutputStream() override { return channel_ >= 0; }
  bool IOnInputStream() override;
  void IOnOutputRelease() override {}
  void IOnInputRelease() override;
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "rtp"; }

  // Keeps a duplicate of the RTCP socket and announces the session to peer.
  void startRTPC(const Fd& rtcp, const sockaddr_in& peer);
  // One RTCP packet to the peer, without waiting; the sendto result (nothing
  // sent, 0, without RTCP or when the message does not encode).
  ssize_t send(const RTPC::Msg& message);
  using Hardware::TonecReceiver::echoCancel;

  // The TDM channel; -1 once a failed restart has given it up.
  int channel() const { return channel_; }
  const rtp_connection_params& params() const { return params_; }
  bool input_started() const { return input_started_; }
  // "rtp[<channel>]: "
  void PutHeader(std::ostream& os) const;

 protected:
  // Drains the session's queued events.
  void OnRtpEvent(int fd, short revents);
  [[nodiscard]] bool enablePD(const LGCP::PDParams& params);
  [[nodiscard]] bool disablePD();
  // Re-opens the session with the current record on the same channel, with
  // the packet detector as it was. The old session is released first, so the
  // driver lets the channel be reused; on failure the slot has no session.
  [[nodiscard]] bool restart();
  uint32_t translate_payload(const LGCP::CodecMode& mode) const;
  // The radio settings of the channel's DSP, for the radio kinds.
  using Hardware::DSProcReceiver::configureDelays;
  using Hardware::DSProcReceiver::enableBSS;
  using Hardware::DSProcReceiver::enableNG;
  using Hardware::DSProcReceiver::enableSelcalSh;

  // The input direction follows the radio squelch rather than the stream hooks.
  bool squ_enable_ = false;
  bool input_started_ = false;
  rtp_connection_params params_;
  Fd session_;

 private:
  // A codec change of one direction's payload type.
  bool ChangeCodec(const LGCP::CodecMode& mode, uint16_t rtp_connection_params::*field, const char* direction);
  [[nodiscard]] bool EnableDetector(uint32_t timeout);
  // After a failed restart the driver may give the channel to another
  // session: cuts the slot's connections, idles the switch output and its
  // receivers while the channel is still the slot's, then forgets it.
  void GiveUpChannel();

  void tonec_event(const Params& params) override { processTonecEvent(params.code, params.timestamp); }
  unsigned tonec_timeslot() const override { return static_cast<unsigned>(channel_); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent& event) override { processVADEvent(event.rx, event.tx); }
  void dsproc_bss_event(const ::dsproc_bss_event* event) override { processBSSEvent(event->score); }
  void dsproc_sd_event(const Hardware::DSProcSDEvent& event) override { processSDEvent(event.rx); }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* event) override;
  void dsproc_flags_event(const ::dsproc_flags_event* event) override;
  unsigned dsproc_timeslot() const override { return static_cast<unsigned>(channel_); }

  int channel_;
  Event event_;
  sockaddr_in peer_{};
  Fd rtcp_;
  uint32_t lbrc_pt_;
  // The packet detector's timeout while the controller has it enabled.
  std::optional<uint32_t> pd_timeout_;
};
