#include "rtp/RtpFactory.h"

#include "asn1/AVNEncoder.h"
#include "hardware/DeviceNames.h"
#include "platform/Device.h"
#include "rtp/RtpSlot.h"
#include "runtime/log/Ext.h"
#include "runtime/net/Fd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <random>

namespace {

constexpr unsigned long kCodecChannels = 0x40045602;
constexpr uint32_t kMaskG729 = 4;
constexpr uint32_t kMaskG723 = 2;
constexpr uint32_t kMaskG711 = 1;
constexpr uint32_t kMaskG711mcc = 8;
constexpr uint32_t kMaskUniversal = 0x41;

bool IsSupported(int payload) {
  switch (payload) {
    case TERM::Payload::ptG711_Alaw:
    case TERM::Payload::ptG711_Ulaw:
    case TERM::Payload::ptG723:
    case TERM::Payload::ptG729:
    case TERM::Payload::ptG711mcc_Alaw:
    case TERM::Payload::ptG711mcc_Ulaw:
    case TERM::Payload::ptG728:
      return true;
    default:
      return false;
  }
}

// The address as a number, the first octet on top; nothing when it does not parse.
std::optional<uint32_t> ParseAddress(const std::string& text) {
  in_addr address{};
  if (inet_aton(text.c_str(), &address) == 0) {
    return std::nullopt;
  }
  return ntohl(address.s_addr);
}

uint16_t PortOf(const TERM::HostAddress& host) {
  return static_cast<uint16_t>(host.get_port().getValue());
}

}  // namespace

RtpFactory& RtpFactory::instance() {
  static RtpFactory factory("rtp");
  return factory;
}

RtpFactory::RtpFactory(const char* header_name) : header_name_(header_name) {
  IQuery();
}

void RtpFactory::PutHeader(std::ostream& os) const {
  os << header_name_ << "[" << g723_ << "," << g729_ << "," << g711_ << "," << universal_ << "]: ";
}

uint32_t RtpFactory::NewSsrc() {
  // Not rand(): its sequence is reseeded elsewhere and repeats across boots.
  static std::mt19937 source(std::random_device{}());
  return static_cast<uint32_t>(source());
}

uint32_t RtpFactory::translateCodec(const TERM::Payload& payload) {
  switch (payload.getValue()) {
    case TERM::Payload::ptG711_Alaw:
      return 8;
    case TERM::Payload::ptG711_Ulaw:
      return 0;
    case TERM::Payload::ptG723:
      return 4;
    case TERM::Payload::ptG729:
      return 18;
    case TERM::Payload::ptG711mcc_Alaw:
      return 136;
    case TERM::Payload::ptG711mcc_Ulaw:
      return 128;
    case TERM::Payload::ptG728:
      return 15;
    default:
      return 0;
  }
}

uint32_t RtpFactory::translateCodec(const TERM::Payload& payload, const TERM::Payload& direction) {
  const int value = direction.getValue();
  if (value != payload.getValue() && (value == TERM::Payload::ptG711_Alaw || value == TERM::Payload::ptG711_Ulaw)) {
    return translateCodec(direction);
  }
  return translateCodec(payload);
}

std::optional<rtp_connection_params> RtpFactory::MakeParams(const LGCP::CreateRtpParams& create) const {
  const TERM::RtpParams& rtp = create.get_codecRTP();
  rtp_connection_params params;
  const std::optional<uint32_t> remote = ParseAddress(rtp.get_dhost().get_iaddr());
  if (!remote) {
    std::cerr << ext::header(this) << "rtp do not created: dhost address "
              << ext::quoted(std::string(rtp.get_dhost().get_iaddr())) << " is not an IPv4 address" << std::endl;
    return std::nullopt;
  }
  params.remote_ip = *remote;
  params.remote_port = PortOf(rtp.get_dhost());
  params.local_port = params.remote_port;
  if (rtp.has_shost()) {
    const std::optional<uint32_t> local = ParseAddress(rtp.get_shost().get_iaddr());
    if (!local) {
      std::cerr << ext::header(this) << "rtp do not created: shost address "
                << ext::quoted(std::string(rtp.get_shost().get_iaddr())) << " is not an IPv4 address" << std::endl;
      return std::nullopt;
    }
    params.local_ip = *local;
    params.local_port = PortOf(rtp.get_shost());
  }
  params.rx_pt = static_cast<uint16_t>(translateCodec(rtp.get_payload(), create.get_rxPayload()));
  params.tx_pt = static_cast<uint16_t>(translateCodec(rtp.get_payload(), create.get_txPayload()));
  params.packet_factor = rtp.has_pfactor() ? static_cast<uint16_t>(rtp.get_pfactor().getValue()) : 0;
  params.vad = rtp.has_vad() && rtp.get_vad().getValue() ? 1 : 0;
  params.crate = rtp.has_crate() && rtp.get_crate().getValue() != 0 ? 1 : 0;
  params.ssrc = rtp.has_ssrc() ? static_cast<uint32_t>(rtp.get_ssrc().getValue()) : NewSsrc();
  params.ttl = rtp.has_ttl() ? static_cast<uint32_t>(rtp.get_ttl().getValue()) : 0;
  params.tos = rtp.has_qos_dscp() ? (rtp.get_qos_dscp().getValue() << 2) & 0xFC : -1;
  return params;
}

std::unique_ptr<Slot> RtpFactory::INewSlot(const LGCP::CreateParams& create) {
  if (!create.is_rtp() || create.get_rtp().get_codecRTP().has_radio()) {
    return nullptr;
  }
  const LGCP::CreateRtpParams& request = create.get_rtp();
  std::clog << ext::header(this) << "do create rtp: " << request.get_codecRTP() << std::endl;
  return NewSession(request, 0, [](int channel, const Fd& session, const rtp_connection_params& params) {
    return std::make_unique<RtpSlot>(channel, session, params);
  });
}

std::unique_ptr<RtpSlot> RtpFactory::NewSession(const LGCP::CreateRtpParams& request, int32_t bss_enable,
                                                const SlotBuilder& build) {
  const TERM::RtpParams& rtp = request.get_codecRTP();
  if (!IsSupported(rtp.get_payload().getValue())) {
    std::clog << ext::header(this) << "rtp do not created: payload " << rtp.get_payload() << "not found" << std::endl;
    return nullptr;
  }
  const std::optional<rtp_connection_params> params = MakeParams(request);
  if (!params) {
    return nullptr;
  }
  // Both RTCP ports are the RTP ports plus one, in 16 bits: 65535 leaves none.
  const uint16_t rtcp_port = static_cast<uint16_t>(params->local_port + 1);
  if (rtcp_port == 0) {
    std::cerr << ext::header(this) << "rtp do not created: local RTP port 65535 leaves no RTCP port" << std::endl;
    return nullptr;
  }
  const uint16_t peer_port = static_cast<uint16_t>(params->remote_port + 1);
  Fd rtcp;
  if (peer_port == 0) {
    std::cerr << ext::header(this) << "far-end RTP port 65535 leaves no RTCP port: no RTCP reports" << std::endl;
  } else {
    rtcp = Fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    if (!rtcp) {
      std::clog << ext::header(this) << "rtp do not created: can not create socket [errno=" << std::strerror(errno)
                << "]" << std::endl;
      return nullptr;
    }
    const int on = 1;
    (void)setsockopt(rtcp.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(rtcp_port);
    if (bind(rtcp.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      std::clog << ext::header(this) << "rtp do not created: can not bind socket [errno=" << std::strerror(errno)
                << ", port=" << static_cast<int16_t>(rtcp_port) << "]" << std::endl;
      return nullptr;
    }
  }
  rtp_channel_info info{-1, -1, -1, bss_enable};
  Fd session;
  if (const std::optional<RtpSessionStep> failed = OpenRtpSession(*params, info, session)) {
    switch (*failed) {
      case RtpSessionStep::kOpen:
        std::cerr << ext::header(this) << "device " << ext::quoted(GetRtpDevName())
                  << " open fail: " << std::strerror(errno) << std::endl;
        break;
      case RtpSessionStep::kBegin:
        std::cerr << ext::header(this) << "begin session fail !!! " << std::endl;
        break;
      case RtpSessionStep::kAddChannel:
        std::cerr << ext::header(this) << "add channel fail !!!" << std::endl;
        break;
    }
    return nullptr;
  }
  std::unique_ptr<RtpSlot> slot = build(info.tdm, session, *params);
  if (rtcp) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(peer_port);
    peer.sin_addr.s_addr = htonl(params->remote_ip);
    slot->startRTPC(rtcp, peer);
  }
  if (rtp.has_echo() && rtp.get_echo().get_suppressor().getValue()) {
    (void)slot->echoCancel(rtp.get_echo().get_canceller().getValue());
  }
  return slot;
}

void RtpFactory::Query(LGCP::Resources& resources) {
  IQuery();
  resources.set_rtp_g729(static_cast<int>(g729_));
  resources.set_rtp_g723(static_cast<int>(g723_));
  resources.set_rtp_g711(static_cast<int>(g711_));
  resources.set_rtp_g711mcc(static_cast<int>(g711mcc_));
  resources.set_universal(static_cast<int>(universal_));
}

void RtpFactory::IQuery() {
  g729_ = g723_ = g711_ = g711mcc_ = universal_ = 0;
  Fd voice(platform::Open(GetVoiceDevName(), O_RDONLY | O_CLOEXEC));
  if (!voice) {
    std::cerr << ext::header(this) << "device " << ext::quoted(GetVoiceDevName())
              << " open fail: " << std::strerror(errno) << std::endl;
    return;
  }
  const auto count = [&](uint32_t mask) {
    const int result = platform::IoctlValue(voice.get(), kCodecChannels, mask);
    return result > 0 ? static_cast<uint32_t>(result) : 0u;
  };
  g729_ = count(kMaskG729);
  g723_ = count(kMaskG723);
  g711_ = count(kMaskG711);
  g711mcc_ = count(kMaskG711mcc);
  universal_ = count(kMaskUniversal);
}
