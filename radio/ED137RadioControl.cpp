#include "radio/ED137RadioControl.h"

#include "runtime/clock/Mux.h"
#include "schemas/TERM.h"

#include <arpa/inet.h>

#include <algorithm>
#include <iomanip>
#include <iostream>

namespace RTPSignalling {
namespace {

// The extension's packet time is 10 ms per unit of the packet factor.
constexpr uint32_t kPacketTimeUnitMs = 10;
constexpr uint16_t kDefaultPacketFactor = 2;

void DecodeHeader(const TERM::ED137RadioHeader& header, ED137RadioState& state) {
  state.ptt = static_cast<uint32_t>(header.get_ptt().getValue());
  state.squ = static_cast<uint32_t>(header.get_squ().getValue());
  state.ptt_id = static_cast<uint32_t>(header.get_ptt_id().getValue());
  state.ptt_mute = header.get_ptt_mute().getValue() ? 1 : 0;
  state.ptt_summation = header.get_ptt_summation().getValue() ? 1 : 0;
  state.sct = header.get_sct().getValue() ? 1 : 0;
}

void DecodeSqi(const TERM::ED137RadioExtensionSQI& sqi, ED137RadioState& state) {
  state.flags |= ED137RadioState::kRx | ED137RadioState::kSqi;
  state.bss_method = static_cast<uint32_t>(sqi.get_bss_method().getValue());
  state.bss_quality = static_cast<uint32_t>(sqi.get_bss_quality().getValue());
}

void EncodeHeader(const ED137RadioState& state, TERM::ED137RadioHeader& header) {
  header.get_ptt().setValue(static_cast<int>(state.ptt));
  header.get_squ().setValue(static_cast<int>(state.squ));
  header.get_ptt_id().setValue(static_cast<int>(state.ptt_id));
  header.get_ptt_mute().setValue(state.ptt_mute != 0);
  header.get_ptt_summation().setValue(state.ptt_summation != 0);
  header.get_sct().setValue(state.sct != 0);
}

void EncodeSqi(const ED137RadioState& state, TERM::ED137RadioExtensionSQI& sqi) {
  sqi.get_bss_method().setValue(static_cast<int>(state.bss_method));
  sqi.get_bss_quality().setValue(static_cast<int>(state.bss_quality));
}

void EncodeStatusASN(const ED137RadioState& state, TERM::RtpRadioRequest& request) {
  TERM::ED137RadioStatus& status = request.get_status().select_ed_137();
  EncodeHeader(state, status.get_header());
  EncodeSqi(state, status.include_sqi());
}

void EncodeASN(const ED137RadioState& state, TERM::ED137RadioModifierParams& params) {
  if (state.Direction() == ED137RadioState::kRx) {
    TERM::ED137RadioRxCommand& rx = params.select_rx();
    EncodeHeader(state, rx.get_header());
    if (state.HasSqi()) {
      EncodeSqi(state, rx.include_sqi());
    }
  } else if (state.Direction() == ED137RadioState::kTx) {
    EncodeHeader(state, params.select_tx().get_header());
  }
}

void EncodeASN(const ED137RadioState& radio, const ED137RadioState& received, TERM::RtpRadioRequest& request) {
  EncodeStatusASN(radio, request);
  TERM::ED137RadioModifier& modifier = request.include_request().select_ed_137();
  char text[INET_ADDRSTRLEN] = "";
  in_addr address{};
  address.s_addr = received.address;
  inet_ntop(AF_INET, &address, text, sizeof text);
  modifier.get_addr().set_session_addr(text);
  modifier.get_addr().get_session_ssrc().setValue(static_cast<int>(received.ssrc));
  EncodeASN(received, modifier.get_params());
}

// A text that is no address names no holder (0.0.0.0).
uint32_t ParseAddress(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1 ? address.s_addr : 0;
}

}  // namespace

rtp_ext_init_params MakeED137InitParams(const ED137RadioParams& params, uint16_t packet_factor) {
  const uint32_t packet_time = (packet_factor == 0 ? kDefaultPacketFactor : packet_factor) * kPacketTimeUnitMs;
  uint32_t packets = params.keepalive_period / packet_time;
  if (params.sigtime != 0) {
    packets *= params.sigtime;
  }
  rtp_ext_init_params init;
  init.etype = kED137ExtensionType;
  init.words = {1, 123, packets, params.sigtime == 0 ? 1 : params.sigtime};
  return init;
}

bool ED137RadioState::IsEqual(const ED137RadioState& o) const {
  return flags == o.flags && ptt == o.ptt && squ == o.squ && ptt_id == o.ptt_id && ptt_mute == o.ptt_mute &&
         ptt_summation == o.ptt_summation && sct == o.sct && bss_method == o.bss_method &&
         bss_quality == o.bss_quality && address == o.address && ssrc == o.ssrc;
}

int ED137RadioControl::DecodeProto(const r2s_proto& proto, ED137RadioState& state) {
  if (proto.type == kR2sTx) {
    state.flags |= ED137RadioState::kTx | ED137RadioState::kHeader;
    state.ptt = proto.header[0];
    state.ptt_id = proto.header[1];
    state.ptt_mute = proto.header[2];
    state.ptt_summation = proto.header[3];
  } else if (proto.type == kR2sRx) {
    state.flags |= ED137RadioState::kRx | ED137RadioState::kHeader;
    state.ptt = proto.header[0];
    state.squ = proto.header[1];
    state.ptt_id = proto.header[2];
    state.ptt_mute = proto.header[3];
    state.ptt_summation = proto.header[4];
    state.sct = proto.header[5];
    const uint32_t count = std::min<uint32_t>(proto.feature_count, kR2sMaxFeatures);
    for (uint32_t i = 0; i < count; ++i) {
      const r2s_proto_feature& feature = proto.features[i];
      if (feature.type == kR2sSqi) {
        // The byte's layout as EncodeProto sends it: the quality index leads.
        state.flags |= ED137RadioState::kSqi;
        state.bss_quality = feature.word[0];
        state.bss_method = feature.word[1];
      }
    }
  } else {
    return -1;
  }
  state.address = proto.source_address;
  state.ssrc = proto.source_ssrc;
  return 0;
}

bool ED137RadioControl::SendASNToChan(const TERM::RadioStatus& status) {
  if (!status.is_ed_137()) {
    return false;
  }
  const TERM::ED137RadioStatus& ed137 = status.get_ed_137();
  ED137RadioState state = radio_;
  state.flags = ED137RadioState::kRx | ED137RadioState::kHeader;
  DecodeHeader(ed137.get_header(), state);
  if (ed137.has_sqi()) {
    DecodeSqi(ed137.get_sqi(), state);
  }
  SendRadioStateToChan(state);
  return true;
}

bool ED137RadioControl::SendASNToChan(const TERM::RadioModifier& modifier) {
  if (!modifier.is_ed_137()) {
    return false;
  }
  const TERM::ED137RadioModifier& ed137 = modifier.get_ed_137();
  const TERM::ED137RadioModifierParams& params = ed137.get_params();
  if (!params.is_rx() && !params.is_tx()) {
    return false;
  }
  ED137RadioState state = radio_;
  state.address = ParseAddress(ed137.get_addr().get_session_addr());
  state.ssrc = static_cast<uint32_t>(ed137.get_addr().get_session_ssrc().getValue());
  if (params.is_rx()) {
    state.flags = ED137RadioState::kRx | ED137RadioState::kHeader;
    DecodeHeader(params.get_rx().get_header(), state);
    if (params.get_rx().has_sqi()) {
      DecodeSqi(params.get_rx().get_sqi(), state);
    }
  } else {
    state.flags = ED137RadioState::kTx | ED137RadioState::kHeader;
    DecodeHeader(params.get_tx().get_header(), state);
  }
  SendRadioStateToChan(state);
  return true;
}

bool ED137RadioControl::NeedSendProto(const ED137RadioState& state) const {
  return !state.IsEqual(radio_) || InitParams().words[2] < 1 || InitParams().words[3] < 1;
}

void ED137RadioControl::SendRadioStateToChan(const ED137RadioState& state) {
  if (!NeedSendProto(state)) {
    return;
  }
  PutProtoFromRadioToChan(state);
  r2s_proto proto;
  r2s_proto_init(&proto, 0);
  if (EncodeProto(state, proto) == 0) {
    SendProtoToChan(proto);
  }
  now_ = Mux::milliseconds();
  if (state.Direction() == ED137RadioState::kRx) {
    last_keepalive_ = now_;
  }
  if (trace_) {
    TERM::RtpRadioRequest request;
    EncodeStatusASN(radio_, request);
    std::clog << GetPrefix() << "command=0x" << std::hex << state.flags << std::dec
              << " receive extension from controller: " << request.get_status().asValueNotation() << std::endl;
  }
  UpdateAccess(radio_.ptt != 0, radio_.address);
}

void ED137RadioControl::SendProtoToChan(const r2s_proto& proto) {
  uint8_t buffer[kMaxPacket];
  const int length = r2s_proto_pack(&proto, buffer, sizeof buffer);
  if (length >= 1) {
    WritePacket(buffer, static_cast<size_t>(length));
  }
}

void ED137RadioControl::OnRtpExtEvent(int, short revents) {
  // Of each run of packets from one sender only the last is handled.
  ReceivePackets<r2s_proto>(
      revents,
      [this](r2s_proto& proto, const uint8_t* bytes, size_t size, const Source& source) {
        r2s_proto_init(&proto, 0);
        if (r2s_proto_unpack_tx(&proto, bytes, size) != 0) {
          return false;
        }
        proto.source_address = source.address;
        proto.source_ssrc = source.ssrc;
        last_r2s_ = now_;
        return true;
      },
      [](const r2s_proto& a, const r2s_proto& b) { return cmp_r2s_proto_source(&a, &b) == 0; },
      [this](const r2s_proto& proto) { OnRtpProtoRXEvent(proto); });
}

void ED137RadioControl::OnRtpProtoRXEvent(const r2s_proto& proto) {
  ED137RadioState state;
  // Every packet is read as a TX header, which always decodes.
  static_cast<void>(DecodeProto(proto, state));
  if (!AccessFormChanToRadio(state)) {
    return;
  }
  if (state.IsEqual(received_) && Age(last_report_) < interval_) {
    return;
  }
  PutProtoFromChanToRadio(state);
  TERM::RtpRadioRequest request;
  EncodeASN(radio_, state, request);
  if (trace_) {
    std::clog << GetPrefix() << " command=0x" << std::hex << state.flags << std::dec
              << " send extension to controller: " << request.asValueNotation() << std::endl;
  }
  last_report_ = now_;
  if (notify_ != nullptr) {
    notify_->RadioControlNotify(request);
  }
}

int ED137RadioGWControl::PutProtoFromRadioToChan(const ED137RadioState& state) {
  const ED137RadioState kept = radio_;
  radio_ = state;
  if (!state.HasSqi()) {
    radio_.bss_method = kept.bss_method;
    radio_.bss_quality = kept.bss_quality;
  }
  return 0;
}

int ED137RadioGWControl::PutProtoFromChanToRadio(const ED137RadioState& state) {
  const ED137RadioState kept = received_;
  received_ = state;
  if (!state.HasSqi()) {
    received_.bss_method = kept.bss_method;
    received_.bss_quality = kept.bss_quality;
  }
  return 0;
}

bool ED137RadioGWControl::AccessFormChanToRadio(const ED137RadioState&) {
  const bool transmits = params_.type >= 2 && params_.type <= 4;
  return transmits && (params_.txrxmode == 0 || params_.txrxmode == 2);
}

int ED137RadioGWControl::EncodeProto(const ED137RadioState& state, r2s_proto& proto) {
  proto.source_address = state.address;
  proto.source_ssrc = state.ssrc;
  if (state.Direction() == ED137RadioState::kRx) {
    r2s_proto_set_rx_header(&proto, state.ptt, state.squ, state.ptt_id, state.ptt_mute, state.ptt_summation, state.sct);
    if (state.HasSqi()) {
      // The 5-bit quality index leads the SQI byte, the method follows.
      r2s_proto_add_rx_sqi(&proto, state.bss_quality, state.bss_method);
    }
    return 0;
  }
  if (state.Direction() == ED137RadioState::kTx) {
    r2s_proto_set_tx_header(&proto, state.ptt, state.ptt_id, state.ptt_mute, state.ptt_summation);
    return 0;
  }
  return -1;
}

unsigned long ED137RadioGWControl::ProcessRadioStatus(unsigned long now, unsigned long interval) {
  now_ = static_cast<uint32_t>(now);
  const uint32_t supervision = params_.SupervisionTime();
  // Both are aged at every step, however long the far end stays silent.
  const uint32_t silence = Age(last_r2s_);
  static_cast<void>(Age(last_report_));
  // A channel whose session never started is plain RTP; one whose session
  // worked and then went keeps telling the controller its radio link is lost.
  if (supervision != 0 && HadSession() && silence >= supervision && notify_ != nullptr) {
    notify_->RadioControlNotify(kLostKeepAlive);
  }
  if (Age(last_keepalive_) >= interval) {
    // Kept alive as an RX state whatever direction the controller gave last:
    // a TX direction with the RX bits added is no state the packer sends.
    radio_.flags = (radio_.flags & ~ED137RadioState::kDirection) | ED137RadioState::kRx | ED137RadioState::kHeader;
    r2s_proto proto;
    r2s_proto_init(&proto, 0);
    if (EncodeProto(radio_, proto) == 0) {
      SendProtoToChan(proto);
      last_keepalive_ = now_;
    }
  }
  const uint32_t elapsed = Age(last_keepalive_);
  return elapsed > 0 && elapsed < interval ? interval - elapsed + 10 : interval;
}

}  // namespace RTPSignalling
