#include "radio/LemzRadioControl.h"

#include "runtime/clock/Mux.h"

#include <iostream>

namespace RTPSignalling {

LemzRadioControl::LemzRadioControl(int id, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init)
    : RadioControl(id, attach, init) {
  Init();
}

LemzRadioControl::LemzRadioControl(const rtp_ext_init_params& init) : RadioControl(init) {
  Init();
}

LemzRadioControl::LemzRadioControl(int id, const Fd& rtp, const rtp_attach_session_params& join)
    : RadioControl(id, rtp, join) {
  Init();
}

void LemzRadioControl::Init() {
  now_ = Mux::milliseconds();
  flag_time_ = chan_time_ = remote_time_ = standby_time_ = now_;
}

bool LemzRadioControl::SendASNToChan(const TERM::RadioStatus& status) {
  if (!status.is_lemz()) {
    return false;
  }
  LemzRadioState state = radio_;
  static_cast<void>(DecodeASN(status.get_lemz(), state));
  SendRadioStateToChan(state);
  return true;
}

bool LemzRadioControl::SendASNToChan(const TERM::RadioModifier& modifier) {
  if (!modifier.is_lemz()) {
    return false;
  }
  LemzRadioState state = radio_;
  DecodeASN(modifier.get_lemz(), state);
  // An alternative that names no command would read as a default initialisation and overwrite every field.
  if (isDefaultInitCommand(state.command)) {
    return false;
  }
  SendRadioStateToChan(state);
  return true;
}

void LemzRadioControl::SendRadioStateToChan(const LemzRadioState& state) {
  now_ = Mux::milliseconds();
  const int command = state.command;
  sig_proto packet;
  sig_proto_init(&packet);
  if (PutProtoFromRadioToChan(state) == 0 && EncodeProto(state, packet) == 0) {
    SendProtoToChan(packet);
    if (role_ == kGatewayRole) {
      switch (command) {
        case WM_FLAG:
        case WM_TRANS:
        case WM_SEL_CALL_TRANS:
          flag_time_ = now_;
          break;
        case WM_CHAN:
          chan_time_ = now_;
          break;
        case WM_SELECT_RC_CHAN:
          remote_time_ = now_;
          break;
        case WM_STANDBY:
          standby_time_ = now_;
          break;
        default:
          break;
      }
    }
  }
  if (trace_ && FindUnreportableField(radio_) == nullptr) {
    TERM::RtpRadioRequest request;
    EncodeStatusASN(radio_, request);
    std::clog << GetPrefix() << "command=0x" << std::hex << command << std::dec
              << " receive extension from controller: " << request.asValueNotation() << std::endl;
  }
  UpdateAccess(radio_.ptt != 0, radio_.session_addr.s_addr);
}

int LemzRadioControl::SendProtoToChan(const sig_proto& packet) {
  uint8_t buffer[kMaxPacket];
  const int length = sig_proto_pack(&packet, buffer, sizeof buffer);
  if (length < 1) {
    stats_.pack_code = length;
    return 0;
  }
  return static_cast<int>(WritePacket(buffer, static_cast<size_t>(length)));
}

bool LemzRadioControl::Announce(int command, uint32_t& time) {
  radio_.command = command;
  sig_proto packet;
  sig_proto_init(&packet);
  if (EncodeProto(radio_, packet) != 0) {
    return false;
  }
  SendProtoToChan(packet);
  time = now_;
  return true;
}

void LemzRadioControl::OnRtpExtEvent(int, short revents) {
  // Of each run of packets with one command from one sender only the last is handled.
  ReceivePackets<sig_proto>(
      revents,
      [this](sig_proto& packet, const uint8_t* bytes, size_t size, const Source& source) {
        sig_proto_init(&packet);
        const int unpacked = sig_proto_unpack(&packet, bytes, size);
        if (unpacked != 0) {
          stats_.unpack_code = unpacked;
          return false;
        }
        ++stats_.good_packets;
        packet.source_addr.s_addr = source.address;
        packet.source_ssrc = source.ssrc;
        return true;
      },
      [](const sig_proto& a, const sig_proto& b) { return cmp_sig_proto_header(&a, &b) == 0; },
      [this](const sig_proto& packet) { OnRtpProtoRXEvent(packet); });
}

bool LemzRadioControl::Unreportable(const sig_proto& packet, const char* field) {
  if (field == nullptr) {
    return false;
  }
  ++unreportable_;
  const char* name = sig_proto_find_name_by_id(sig_proto_packet_const_name, static_cast<int>(packet.type));
  std::cerr << GetPrefix() << "LEMZ packet " << name << " dropped: " << field << " cannot be reported" << std::endl;
  return true;
}

void LemzRadioControl::OnRtpProtoRXEvent(const sig_proto& packet) {
  if (Unreportable(packet, FindUnreportableField(packet))) {
    return;
  }
  LemzRadioState state;
  static_cast<void>(DecodeProto(packet, state));
  if (AccessFormChanToRadio(state)) {
    static_cast<void>(PutProtoFromChanToRadio(state));
    // Before the controller's first status the radio state holds "not configured" fields no report can carry.
    if (!Unreportable(packet, FindUnreportableField(radio_))) {
      TERM::RtpRadioRequest request;
      EncodeASN(radio_, state, request);
      if (trace_) {
        std::clog << GetPrefix() << "command=0x" << std::hex << state.command << std::dec
                  << " send extension to controller: " << request.asValueNotation() << std::endl;
      }
      if (notify_ != nullptr) {
        notify_->RadioControlNotify(request);
      }
    }
  }
  UpdateAccess(radio_.ptt != 0, radio_.session_addr.s_addr);
}

void LemzRadioControl::EncodeHeader(const LemzRadioState& s, sig_proto& packet) {
  sig_proto_init(&packet);
  packet.type = static_cast<uint32_t>(s.command);
  packet.source_addr = s.source_addr;
  packet.source_ssrc = s.source_ssrc;
  packet.priority = static_cast<uint32_t>(s.priority);
  packet.flag_t = s.vad_tx;
  packet.flag_p = s.ptt;
  packet.flag_r = s.vad_rx;
  packet.flag_s = s.sql;
  packet.flag_b = s.bss;
  packet.flag_rv = s.rv;
  packet.flag_sh = s.sh;
  packet.flag_rs = s.resv;
  packet.flag_pw = s.pwr;
  packet.flag_c = s.selcall;
  packet.status = s.li;
}

}  // namespace RTPSignalling
