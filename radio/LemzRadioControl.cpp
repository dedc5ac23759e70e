#include "radio/LemzRadioControl.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace RTPSignalling {

namespace {

using Alternative = TERM::LemzRadioModifierParams::Alternative;

// Commands and the modifier alternatives that carry them. The flag alternatives run sh, pwr, rv, resv while the
// commands run RV 5, SH 6, PW 7, RS 8.
const struct {
  int command;
  Alternative alternative;
} kCommandAlternatives[] = {
    {GW_FLAG, Alternative::gw_set_flags},
    {GW_ADJUST_CHAN, Alternative::gw_set_freq},
    {GW_FLAG_PTT, Alternative::gw_set_ptt},
    {GW_FLAG_BSS, Alternative::gw_set_bss},
    {GW_FLAG_RV, Alternative::gw_set_rv},
    {GW_FLAG_SH, Alternative::gw_set_sh},
    {GW_FLAG_PW, Alternative::gw_set_pwr},
    {GW_FLAG_RS, Alternative::gw_set_resv},
    {GW_SEL_CALL, Alternative::gw_set_selcall},
    {GW_SELECT_RC_CHAN, Alternative::gw_set_remote},
    {GW_ADJUST_SQUELSHE, Alternative::gw_set_squelshe},
    {GW_ADJUST_RTE, Alternative::gw_set_rte},
    {GW_ADJUST_STANDBY, Alternative::gw_set_standby},
    {WM_FLAG, Alternative::wm_flags},
    {WM_TRANS, Alternative::wm_trans},
    {WM_RADIO_QUALITY, Alternative::wm_quality},
    {WM_CHAN, Alternative::wm_chan},
    {WM_SEL_CALL_TRANS, Alternative::wm_selcall},
    {WM_SELECT_RC_CHAN, Alternative::wm_remote},
    {WM_STANDBY, Alternative::wm_standby},
};

constexpr int kMaxSquelshe = TERM::RadioSquelshe::persent_100;
constexpr int kMaxRte = TERM::RadioRTE::j3e;
constexpr size_t kMaxCallerId = kSigProtoCallerIdSize - 1;

std::string FloatText(float value) {
  char text[256] = {};
  std::snprintf(text, sizeof text, "%4.6f", value);
  return text;
}

// Text that is not a number reads as 0.0.
float TextFloat(const std::string& text) {
  return static_cast<float>(std::strtod(text.c_str(), nullptr));
}

std::string AddressText(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  return inet_ntop(AF_INET, &address, text, sizeof text);
}

// Text that is not an address reads as 255.255.255.255.
in_addr TextAddress(const std::string& text) {
  in_addr address;
  address.s_addr = inet_addr(text.c_str());
  return address;
}

void CopyCallerId(char* caller_id, const char* text, size_t length) {
  std::memset(caller_id, 0, kSigProtoCallerIdSize);
  std::memcpy(caller_id, text, std::min(length, kMaxCallerId));
}

bool IsIa5(const char* text, size_t length) {
  const size_t end = strnlen(text, length);
  return std::all_of(text, text + end, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool InRange(int value, int low, int high) {
  return value >= low && value <= high;
}

void EncodeFlags(const LemzRadioState& s, TERM::RadioFlags& flags) {
  flags.set_prio(s.priority);
  flags.set_ptt(s.ptt != 0);
  flags.set_bss(s.bss != 0);
  flags.set_vad_rx(s.vad_rx != 0);
  flags.set_vad_tx(s.vad_tx != 0);
  flags.set_sql(s.sql != 0);
  flags.set_sh(s.sh != 0);
  flags.set_pwr(s.pwr != 0);
  flags.set_rv(s.rv != 0);
  flags.set_resv(s.resv != 0);
  flags.set_selcall(s.selcall);
  flags.set_li(s.li);
}

void DecodeFlags(const TERM::RadioFlags& flags, LemzRadioState& s) {
  s.priority = flags.get_prio().getValue();
  s.ptt = flags.get_ptt().getValue();
  s.bss = flags.get_bss().getValue();
  s.vad_rx = flags.get_vad_rx().getValue();
  s.vad_tx = flags.get_vad_tx().getValue();
  s.sql = flags.get_sql().getValue();
  s.sh = flags.get_sh().getValue();
  s.pwr = flags.get_pwr().getValue();
  s.rv = flags.get_rv().getValue();
  s.resv = flags.get_resv().getValue();
  s.selcall = flags.get_selcall().getValue();
  s.li = flags.get_li().getValue();
}

void EncodeFreq(const LemzRadioState& s, TERM::RadioFrequency& freq) {
  freq.set_channel(s.channel);
  freq.set_frequency(FloatText(s.frequency));
}

void DecodeFreq(const TERM::RadioFrequency& freq, LemzRadioState& s) {
  s.channel = freq.get_channel().getValue();
  s.frequency = TextFloat(freq.get_frequency());
}

void EncodeRemote(const LemzRadioState& s, TERM::RadioRemote& remote) {
  remote.set_no(static_cast<unsigned>(s.remote_no));
  remote.set_ch(static_cast<unsigned>(s.remote_ch));
}

void DecodeRemote(const TERM::RadioRemote& remote, LemzRadioState& s) {
  s.remote_no = static_cast<int32_t>(remote.get_no().getValue());
  s.remote_ch = static_cast<int32_t>(remote.get_ch().getValue());
}

// wm-trans and the two selcall alternatives: the flags and the transmitting party.
template <class Command>
void EncodeTransmitter(const LemzRadioState& s, Command& command) {
  EncodeFlags(s, command.get_flags());
  command.set_ip(AddressText(s.session_addr));
  command.set_ssrc(s.session_ssrc);
}

template <class Command>
void DecodeTransmitter(const Command& command, LemzRadioState& s) {
  DecodeFlags(command.get_flags(), s);
  s.session_addr = TextAddress(command.get_ip());
  s.session_ssrc = command.get_ssrc().getValue();
}

template <class Command>
void EncodeSelCall(const LemzRadioState& s, Command& command) {
  EncodeTransmitter(s, command);
  command.set_cid(s.caller_id);
}

template <class Command>
void DecodeSelCall(const Command& command, LemzRadioState& s) {
  DecodeTransmitter(command, s);
  CopyCallerId(s.caller_id, command.get_cid().data(), command.get_cid().size());
}

// Fills the selected alternative from the packet state.
void EncodeParams(const LemzRadioState& s, TERM::LemzRadioModifierParams& params) {
  switch (params.alternative()) {
    case Alternative::gw_set_flags:
    case Alternative::gw_set_ptt:
    case Alternative::gw_set_bss:
    case Alternative::gw_set_sh:
    case Alternative::gw_set_pwr:
    case Alternative::gw_set_rv:
    case Alternative::gw_set_resv:
      EncodeFlags(s, params.selectionAs<TERM::RadioCommandGWSetFlags>().get_flags());
      return;
    case Alternative::wm_flags:
      EncodeFlags(s, params.get_wm_flags().get_flags());
      return;
    case Alternative::gw_set_freq:
      EncodeFreq(s, params.get_gw_set_freq().get_freq());
      return;
    case Alternative::gw_set_selcall:
      EncodeSelCall(s, params.get_gw_set_selcall());
      return;
    case Alternative::wm_selcall:
      EncodeSelCall(s, params.get_wm_selcall());
      return;
    case Alternative::wm_trans:
      EncodeTransmitter(s, params.get_wm_trans());
      return;
    case Alternative::gw_set_remote:
      EncodeRemote(s, params.get_gw_set_remote().get_remote());
      return;
    case Alternative::wm_remote:
      EncodeRemote(s, params.get_wm_remote().get_remote());
      return;
    case Alternative::gw_set_squelshe:
      params.get_gw_set_squelshe().get_squelshe().setValue(s.squelshe);
      return;
    case Alternative::gw_set_rte:
      params.get_gw_set_rte().get_rte().setValue(s.rte);
      return;
    case Alternative::gw_set_standby:
      params.get_gw_set_standby().get_state().setValue(s.standby_state_channel);
      return;
    case Alternative::wm_quality:
      params.get_wm_quality().set_bss_val(FloatText(s.radio_quality));
      return;
    case Alternative::wm_chan: {
      TERM::RadioCommandWMChan& chan = params.get_wm_chan();
      EncodeFreq(s, chan.get_freq());
      chan.get_squelshe().setValue(s.squelshe);
      chan.get_rte().setValue(s.rte);
      return;
    }
    case Alternative::wm_standby: {
      TERM::RadioCommandWMStandby& standby = params.get_wm_standby();
      standby.get_state_channel().setValue(s.standby_state_channel);
      standby.set_group(static_cast<unsigned>(s.standby_group));
      standby.get_state_receiver().setValue(s.standby_state_receiver);
      return;
    }
  }
}

// Reads the selected alternative into the state; an alternative outside the root leaves it as it is.
void DecodeParams(const TERM::LemzRadioModifierParams& params, LemzRadioState& s) {
  switch (params.alternative()) {
    case Alternative::gw_set_flags:
    case Alternative::gw_set_ptt:
    case Alternative::gw_set_bss:
    case Alternative::gw_set_sh:
    case Alternative::gw_set_pwr:
    case Alternative::gw_set_rv:
    case Alternative::gw_set_resv:
      DecodeFlags(params.selectionAs<TERM::RadioCommandGWSetFlags>().get_flags(), s);
      return;
    case Alternative::wm_flags:
      DecodeFlags(params.get_wm_flags().get_flags(), s);
      return;
    case Alternative::gw_set_freq:
      DecodeFreq(params.get_gw_set_freq().get_freq(), s);
      return;
    case Alternative::gw_set_selcall:
      DecodeSelCall(params.get_gw_set_selcall(), s);
      return;
    case Alternative::wm_selcall:
      DecodeSelCall(params.get_wm_selcall(), s);
      return;
    case Alternative::wm_trans:
      DecodeTransmitter(params.get_wm_trans(), s);
      return;
    case Alternative::gw_set_remote:
      DecodeRemote(params.get_gw_set_remote().get_remote(), s);
      return;
    case Alternative::wm_remote:
      DecodeRemote(params.get_wm_remote().get_remote(), s);
      return;
    case Alternative::gw_set_squelshe:
      s.squelshe = params.get_gw_set_squelshe().get_squelshe().getValue();
      return;
    case Alternative::gw_set_rte:
      s.rte = params.get_gw_set_rte().get_rte().getValue();
      return;
    case Alternative::gw_set_standby:
      s.standby_state_channel = params.get_gw_set_standby().get_state().getValue();
      return;
    case Alternative::wm_quality:
      s.radio_quality = TextFloat(params.get_wm_quality().get_bss_val());
      return;
    case Alternative::wm_chan: {
      const TERM::RadioCommandWMChan& chan = params.get_wm_chan();
      DecodeFreq(chan.get_freq(), s);
      s.rte = chan.get_rte().getValue();
      s.squelshe = chan.get_squelshe().getValue();
      return;
    }
    case Alternative::wm_standby: {
      const TERM::RadioCommandWMStandby& standby = params.get_wm_standby();
      s.standby_state_channel = standby.get_state_channel().getValue();
      s.standby_group = static_cast<int32_t>(standby.get_group().getValue());
      s.standby_state_receiver = standby.get_state_receiver().getValue();
      return;
    }
  }
}

}  // namespace

int LemzRadioControl::DecodeProto(const sig_proto& packet, LemzRadioState& state) {
  state.command = static_cast<int32_t>(packet.type);
  state.source_addr = packet.source_addr;
  state.source_ssrc = packet.source_ssrc;
  state.priority = static_cast<int32_t>(packet.priority);
  state.ptt = packet.flag_p;
  state.bss = packet.flag_b;
  state.vad_rx = packet.flag_r;
  state.vad_tx = packet.flag_t;
  state.sql = packet.flag_s;
  state.sh = packet.flag_sh;
  state.pwr = packet.flag_pw;
  state.rv = packet.flag_rv;
  state.resv = packet.flag_rs;
  state.selcall = packet.flag_c;
  state.li = packet.status;
  const sig_proto_body& body = packet.body;
  switch (packet.type) {
    case GW_FLAG:
    case GW_FLAG_PTT:
    case GW_FLAG_BSS:
    case GW_FLAG_RV:
    case GW_FLAG_SH:
    case GW_FLAG_PW:
    case GW_FLAG_RS:
    case WM_FLAG:
      return 0;
    case GW_ADJUST_CHAN:
      state.channel = static_cast<int32_t>(body.gw_adjust_chan.id);
      state.frequency = body.gw_adjust_chan.freq;
      return 0;
    case GW_SEL_CALL:
      CopyCallerId(state.caller_id, body.gw_sel_call.callerID, kMaxCallerId);
      return 0;
    case GW_SELECT_RC_CHAN:
    case WM_SELECT_RC_CHAN:
      state.remote_no = body.gw_select_rc_chan.interface;
      state.remote_ch = body.gw_select_rc_chan.channel;
      return 0;
    case GW_ADJUST_SQUELSHE:
      state.squelshe = body.gw_adjust_squelsh.squelsh;
      return 0;
    case GW_ADJUST_RTE:
      state.rte = body.gw_adjust_rte.rte;
      return 0;
    case GW_ADJUST_STANDBY:
      state.standby_state_channel = body.gw_adjust_standby.state;
      return 0;
    case WM_TRANS:
      state.session_addr = body.wm_trans.session_addr;
      state.session_ssrc = body.wm_trans.ssrc;
      return 0;
    case WM_RADIO_QUALITY:
      state.radio_quality = body.wm_radio_quality.radio_quality;
      return 0;
    case WM_CHAN:
      state.channel = static_cast<int32_t>(body.wm_chan.id);
      state.frequency = body.wm_chan.freq;
      state.squelshe = body.wm_chan.squelsh;
      state.rte = body.wm_chan.rte;
      return 0;
    case WM_SEL_CALL_TRANS:
      state.session_addr = body.wm_sel_call_trans.session_addr;
      state.session_ssrc = body.wm_sel_call_trans.ssrc;
      CopyCallerId(state.caller_id, body.wm_sel_call_trans.callerID, kMaxCallerId);
      return 0;
    case WM_STANDBY:
      state.standby_state_channel = body.wm_standby.state;
      state.standby_group = body.wm_standby.group;
      state.standby_state_receiver = body.wm_standby.receiver_state;
      return 0;
    default:
      return -1;
  }
}

void LemzRadioControl::EncodeStatusASN(const LemzRadioState& radio, TERM::RtpRadioRequest& request) {
  TERM::LemzRadioStatus& status = request.get_status().select_lemz();
  EncodeFlags(radio, status.get_flags());
  EncodeFreq(radio, status.get_freq());
  EncodeRemote(radio, status.get_remote());
  status.get_squelshe().setValue(radio.squelshe);
  status.get_rte().setValue(radio.rte);
  status.get_standby_state_channel().setValue(radio.standby_state_channel);
  status.set_standby_group(static_cast<unsigned>(radio.standby_group));
  status.get_standby_state_receiver().setValue(radio.standby_state_receiver);
}

void LemzRadioControl::EncodeASN(const LemzRadioState& radio, const LemzRadioState& packet,
                                 TERM::RtpRadioRequest& request) {
  EncodeStatusASN(radio, request);
  TERM::LemzRadioModifier& modifier = request.include_request().select_lemz();
  modifier.get_addr().set_session_addr(AddressText(packet.source_addr));
  modifier.get_addr().set_session_ssrc(packet.source_ssrc);
  for (const auto& entry : kCommandAlternatives) {
    if (entry.command == packet.command) {
      static_cast<void>(modifier.get_params().select(entry.alternative));
      EncodeParams(packet, modifier.get_params());
      return;
    }
  }
}

void LemzRadioControl::DecodeASN(const TERM::LemzRadioModifier& modifier, LemzRadioState& state) {
  state.command = 0;
  state.source_addr = TextAddress(modifier.get_addr().get_session_addr());
  state.source_ssrc = modifier.get_addr().get_session_ssrc().getValue();
  const TERM::LemzRadioModifierParams& params = modifier.get_params();
  for (const auto& entry : kCommandAlternatives) {
    if (entry.alternative == params.alternative()) {
      state.command = entry.command;
      break;
    }
  }
  DecodeParams(params, state);
}

int LemzRadioControl::DecodeASN(const TERM::LemzRadioStatus& status, LemzRadioState& state) {
  state.command = 0;
  DecodeFlags(status.get_flags(), state);
  DecodeFreq(status.get_freq(), state);
  state.rte = status.get_rte().getValue();
  state.squelshe = status.get_squelshe().getValue();
  DecodeRemote(status.get_remote(), state);
  state.standby_state_channel = status.get_standby_state_channel().getValue();
  state.standby_group = static_cast<int32_t>(status.get_standby_group().getValue());
  state.standby_state_receiver = status.get_standby_state_receiver().getValue();
  return 0;
}

const char* LemzRadioControl::FindUnreportableField(const sig_proto& packet) {
  const sig_proto_body& body = packet.body;
  switch (packet.type) {
    case GW_SEL_CALL:
      return IsIa5(body.gw_sel_call.callerID, kMaxCallerId) ? nullptr : "gw_sel_call.callerID";
    case GW_ADJUST_SQUELSHE:
      return body.gw_adjust_squelsh.squelsh <= kMaxSquelshe ? nullptr : "gw_adjust_squelsh.squelsh";
    case GW_ADJUST_RTE:
      return body.gw_adjust_rte.rte <= kMaxRte ? nullptr : "gw_adjust_rte.rte";
    case GW_ADJUST_STANDBY:
      return body.gw_adjust_standby.state <= 1 ? nullptr : "gw_adjust_standby.state";
    case WM_CHAN:
      if (body.wm_chan.squelsh > kMaxSquelshe) {
        return "wm_chan.squelsh";
      }
      return body.wm_chan.rte <= kMaxRte ? nullptr : "wm_chan.rte";
    case WM_SEL_CALL_TRANS:
      return IsIa5(body.wm_sel_call_trans.callerID, kMaxCallerId) ? nullptr : "wm_sel_call_trans.callerID";
    case WM_STANDBY:
      if (body.wm_standby.state > 1) {
        return "wm_standby.state";
      }
      return body.wm_standby.receiver_state <= 1 ? nullptr : "wm_standby.receiver_state";
    default:
      return nullptr;
  }
}

const char* LemzRadioControl::FindUnreportableField(const LemzRadioState& radio) {
  const struct {
    const char* name;
    int value;
    int low;
    int high;
  } fields[] = {
      {"remote.no", radio.remote_no, 0, 255},
      {"remote.ch", radio.remote_ch, 0, 255},
      {"squelshe", radio.squelshe, 0, kMaxSquelshe},
      {"rte", radio.rte, 0, kMaxRte},
      {"standby-state-channel", radio.standby_state_channel, 0, 1},
      {"standby-group", radio.standby_group, 0, 255},
      {"standby-state-receiver", radio.standby_state_receiver, 0, 1},
  };
  for (const auto& field : fields) {
    if (!InRange(field.value, field.low, field.high)) {
      return field.name;
    }
  }
  return nullptr;
}

}  // namespace RTPSignalling
