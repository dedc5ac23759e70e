#include "rtp/RtpSlot.h"

#include "asn1/AVNEncoder.h"
#include "hardware/DeviceNames.h"
#include "hardware/HwMux.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

namespace {

// Bounds one event's work, so a driver that keeps queueing cannot hold the loop.
constexpr int kMaxEventsPerWakeUp = 256;
constexpr size_t kRtcpBufferSize = 1024;

}  // namespace

std::optional<RtpSessionStep> OpenRtpSession(const rtp_connection_params& params, rtp_channel_info& info, Fd& session) {
  // Non-blocking: the drain of the event queue must end when it is empty.
  Fd fd(platform::Open(GetRtpDevName(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    return RtpSessionStep::kOpen;
  }
  rtp_device::ConnectionRecord begin = rtp_device::Encode(params);
  if (platform::Ioctl(fd.get(), rtp_device::kBeginSession, begin.data()) < 0) {
    return RtpSessionStep::kBegin;
  }
  rtp_device::ChannelRecord channel = rtp_device::Encode(info);
  if (platform::Ioctl(fd.get(), rtp_device::kAddChannel, channel.data()) < 0) {
    return RtpSessionStep::kAddChannel;
  }
  info = rtp_device::DecodeChannel(channel);
  session = std::move(fd);
  return std::nullopt;
}

RtpSlot::RtpSlot(int channel, const Fd& session, const rtp_connection_params& params)
    : params_(params), session_(session), channel_(channel), lbrc_pt_(params.rx_pt) {
  event_.Bind("RtpSlot::OnRtpEvent", &RtpSlot::OnRtpEvent, this);
  event_.Schedule(session_, POLLIN);
}

RtpSlot::~RtpSlot() {
  (void)send(RTPC::BYE(params_.ssrc, "session end"));
  rtcp_.close();
  // Without a channel the receivers were cleaned when it was given up.
  if (channel_ >= 0) {
    Hardware::TonecReceiver::CleanBeforeDestroy();
    Hardware::DSProcReceiver::CleanBeforeDestroy();
  }
}

void RtpSlot::PutHeader(std::ostream& os) const {
  os << "rtp[" << channel_ << "]: ";
}

void RtpSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool RtpSlot::IBeforeDestroy() {
  const int fd = session_.get();
  (void)platform::IoctlValue(fd, rtp_device::kDestroyStep1, 0);
  (void)platform::IoctlValue(fd, rtp_device::kDestroyStep2, 0);
  (void)platform::IoctlValue(fd, rtp_device::kDestroyStep3, 0);
  std::array<uint8_t, 4> disable = rtp_device::PacketDetectorDisable();
  (void)platform::Ioctl(fd, rtp_device::kDisablePacketDetector, disable.data());
  event_.Release();
  session_.close();
  if (channel_ >= 0) {
    (void)HwMux::instance().Disable(channel_);
  }
  return true;
}

bool RtpSlot::IOnInputStream() {
  if (channel_ < 0) {
    return false;
  }
  if (!squ_enable_) {
    (void)platform::IoctlValue(session_.get(), rtp_device::kStartInput, 0);
    input_started_ = true;
  }
  return true;
}

void RtpSlot::IOnInputRelease() {
  (void)platform::IoctlValue(session_.get(), rtp_device::kStopInput, 0);
  input_started_ = false;
}

void RtpSlot::startRTPC(const Fd& rtcp, const sockaddr_in& peer) {
  peer_ = peer;
  if (&rtcp != &rtcp_) {
    rtcp_ = rtcp;
  }
  RTPC::SDES sdes(params_.ssrc);
  sdes.add(RTPC::SDES::Item::CNAME, "Vostrel Kellamor");
  sdes.add(RTPC::SDES::Item::EMAIL, "support@vostrel.example");
  sdes.add(RTPC::SDES::Item::PHONE, "+1 555 0100");
  (void)send(sdes);
}

ssize_t RtpSlot::send(const RTPC::Msg& message) {
  if (!rtcp_) {
    return 0;
  }
  char buffer[kRtcpBufferSize];
  const unsigned length = message.encode(buffer, sizeof buffer);
  if (length == 0) {
    return 0;
  }
  return sendto(rtcp_.get(), buffer, length, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
}

void RtpSlot::OnRtpEvent(int, short revents) {
  if ((revents & POLLIN) != 0) {
    for (int i = 0; i < kMaxEventsPerWakeUp; ++i) {
      uint8_t bytes[rtp_device::kEventSize + 1];
      const ssize_t size = platform::Read(session_.get(), bytes, sizeof bytes);
      if (size < 0) {
        if (errno != EAGAIN) {
          std::cerr << ext::header(this) << "fail to read from rtp: " << std::strerror(errno) << std::endl;
        }
        break;
      }
      const std::optional<rtp_event> event = rtp_device::DecodeEvent(bytes, static_cast<size_t>(size));
      if (!event) {
        std::cerr << ext::header(this) << "rtp event of " << size << " bytes dropped" << std::endl;
        break;
      }
      std::clog << ext::header(this) << "rtp event: "
                << " type=" << event->type << std::endl;
      processRtpEvent(*event);
    }
  }
  if ((revents & (POLLERR | POLLHUP)) != 0) {
    std::cerr << ext::header(this) << "rtp session hung up, its events are no longer read" << std::endl;
    event_.Release();
  }
}

bool RtpSlot::enablePD(const LGCP::PDParams& params) {
  return EnableDetector(static_cast<uint32_t>(params.get_timeout().getValue()));
}

bool RtpSlot::EnableDetector(uint32_t timeout) {
  rtp_device::EventRecord record = rtp_device::PacketDetectorEnable(timeout);
  if (platform::Ioctl(session_.get(), rtp_device::kEnablePacketDetector, record.data()) < 0) {
    std::cerr << ext::header(this) << "RTP SET EVENT PD fail:"
              << " errno=" << ext::quoted(std::strerror(errno)) << std::endl;
    return false;
  }
  std::clog << ext::header(this) << "RTP SET EVENT PD "
            << "timeout=" << timeout << std::endl;
  pd_timeout_ = timeout;
  return true;
}

bool RtpSlot::disablePD() {
  std::array<uint8_t, 4> record = rtp_device::PacketDetectorDisable();
  if (platform::Ioctl(session_.get(), rtp_device::kDisablePacketDetector, record.data()) < 0) {
    std::cerr << ext::header(this) << "RTP RESET EVENT PD fail:"
              << " errno=" << ext::quoted(std::strerror(errno)) << std::endl;
    return false;
  }
  std::clog << ext::header(this) << "RTP RESET EVENT PD" << std::endl;
  pd_timeout_.reset();
  return true;
}

bool RtpSlot::restart() {
  // Every duplicate of the old session goes first: the driver gives the
  // channel to the new session only once the old one is released.
  event_.Release();
  session_.close();
  rtp_channel_info info{channel_, -1, -1, 0};
  if (OpenRtpSession(params_, info, session_)) {
    return false;
  }
  event_.Schedule(session_, POLLIN);
  // A new session starts without the detector the controller enabled.
  if (pd_timeout_ && !EnableDetector(*pd_timeout_)) {
    pd_timeout_.reset();
  }
  return true;
}

void RtpSlot::GiveUpChannel() {
  OnChangeOutputStream(false);
  OnChangeInputStream(false);
  (void)HwMux::instance().Disable(channel_);
  // Digits or the wait tone would go on playing, on their timer.
  if (sending()) {
    (void)disableToneGenerator(true);
  } else {
    cancelAudibleCall();
  }
  Hardware::TonecReceiver::CleanBeforeDestroy();
  Hardware::DSProcReceiver::CleanBeforeDestroy();
  channel_ = -1;
}

uint32_t RtpSlot::translate_payload(const LGCP::CodecMode& mode) const {
  switch (mode.getValue()) {
    case LGCP::CodecMode::alaw:
      return 8;
    case LGCP::CodecMode::ulaw:
      return 0;
    default:
      return lbrc_pt_;
  }
}

bool RtpSlot::ChangeCodec(const LGCP::CodecMode& mode, uint16_t rtp_connection_params::*field, const char* direction) {
  std::ostringstream line;
  line << ext::header(this) << "do restart RTP session (change " << direction << " payload):" << mode;
  const auto payload = static_cast<uint16_t>(translate_payload(mode));
  if (payload == params_.*field) {
    std::clog << line.str() << " - Nothing to do" << std::endl;
    return true;
  }
  params_.*field = payload;
  if (!restart()) {
    std::clog << line.str() << std::endl;
    std::cerr << ext::header(this) << "fail to restart RTP session!" << std::endl;
    GiveUpChannel();
    return false;
  }
  std::clog << line.str() << " - OK" << std::endl;
  return true;
}

bool RtpSlot::Ioctl(const LGCP::IoctlParams& params) {
  // Every request works on the channel's session or receivers.
  if (channel_ < 0) {
    std::cerr << ext::header(this) << "no channel since the failed restart: request refused" << std::endl;
    return false;
  }
  using Alternative = LGCP::IoctlParams::Alternative;
  switch (params.alternative()) {
    case Alternative::echoSuppressor:
      return echoCancel(params.get_echoSuppressor().getValue());
    case Alternative::activateWaitTone:
      activateAudibleCall();
      return true;
    case Alternative::deactivateWaitTone:
      cancelAudibleCall();
      return true;
    case Alternative::translateDTMF:
      translateDTMF(params.get_translateDTMF());
      return true;
    case Alternative::dtmf_params:
      return configureDTMF(params.get_dtmf_params());
    case Alternative::dtmf_enable:
      return enableDTMF(params.get_dtmf_enable().getValue());
    case Alternative::dtmf_reject_enable:
      return enableDTMFReject(params.get_dtmf_reject_enable().getValue());
    case Alternative::encoder_mode:
      return ChangeCodec(params.get_encoder_mode(), &rtp_connection_params::tx_pt, "tx");
    case Alternative::decoder_mode:
      return ChangeCodec(params.get_decoder_mode(), &rtp_connection_params::rx_pt, "rx");
    case Alternative::pd_enable:
      return enablePD(params.get_pd_enable());
    case Alternative::pd_disable:
      return disablePD();
    case Alternative::rx_gain:
      configureRxGain(static_cast<signed char>(params.get_rx_gain().get_gainDB().getValue()));
      return true;
    case Alternative::selcal:
      (void)translateSelcal(params.get_selcal());
      return true;
    default:
      return DetectorIoctl(params).value_or(false);
  }
}

void RtpSlot::dsproc_tone_flt_event(const ::dsproc_tone_event* event) {
  processToneFltEvent(event->frequency, event->presence != 0 ? 1 : 0);
}

void RtpSlot::dsproc_flags_event(const ::dsproc_flags_event* event) {
  processFlagsEvent(event->flags, event->mask);
}
