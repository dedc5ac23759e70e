#include "radio/LemzRadioControl.h"

#include <algorithm>
#include <cstring>

namespace RTPSignalling {

namespace {

constexpr uint32_t kAnnouncePeriodMs = 1000;

bool Is(int command, std::initializer_list<int> commands) {
  return isDefaultInitCommand(command) || std::find(commands.begin(), commands.end(), command) != commands.end();
}

uint8_t Low(int32_t value) {
  return static_cast<uint8_t>(value);
}

// The command flags both roles take from a GW_* command: ptt on 1 and 3, bss on 1 and 4, and so on.
void TakeGatewayCommand(const LemzRadioState& from, LemzRadioState& to) {
  const int c = from.command;
  to.command = c;
  to.priority = from.priority;
  if (Is(c, {GW_FLAG, GW_FLAG_PTT})) {
    to.ptt = from.ptt;
  }
  if (Is(c, {GW_FLAG, GW_FLAG_BSS})) {
    to.bss = from.bss;
  }
  if (Is(c, {GW_FLAG, GW_FLAG_SH})) {
    to.sh = from.sh;
  }
  if (Is(c, {GW_FLAG, GW_FLAG_RV})) {
    to.rv = from.rv;
  }
  if (Is(c, {GW_FLAG, GW_FLAG_PW})) {
    to.pwr = from.pwr;
  }
  if (Is(c, {GW_FLAG, GW_FLAG_RS})) {
    to.resv = from.resv;
  }
  if (Is(c, {GW_ADJUST_CHAN})) {
    to.channel = from.channel;
    to.frequency = from.frequency;
  }
  if (Is(c, {GW_SEL_CALL})) {
    std::memcpy(to.caller_id, from.caller_id, sizeof to.caller_id);
  }
  if (Is(c, {GW_SELECT_RC_CHAN})) {
    to.remote_no = from.remote_no;
    to.remote_ch = from.remote_ch;
  }
  if (Is(c, {GW_ADJUST_SQUELSHE})) {
    to.squelshe = from.squelshe;
  }
  if (Is(c, {GW_ADJUST_RTE})) {
    to.rte = from.rte;
  }
  if (Is(c, {GW_ADJUST_STANDBY})) {
    to.standby_state_channel = from.standby_state_channel;
  }
}

// The header flags and the WM_* bodies both roles take from an announcement state.
void TakeAnnouncement(const LemzRadioState& from, LemzRadioState& to) {
  const int c = from.command;
  to.command = c;
  to.priority = from.priority;
  to.li = from.li;
  to.ptt = from.ptt;
  to.bss = from.bss;
  to.vad_rx = from.vad_rx;
  to.vad_tx = from.vad_tx;
  to.sql = from.sql;
  to.sh = from.sh;
  to.pwr = from.pwr;
  to.rv = from.rv;
  to.resv = from.resv;
  to.selcall = from.selcall;
  if (Is(c, {WM_CHAN})) {
    to.channel = from.channel;
    to.frequency = from.frequency;
    to.rte = from.rte;
    to.squelshe = from.squelshe;
  }
  if (Is(c, {WM_SELECT_RC_CHAN})) {
    to.remote_no = from.remote_no;
    to.remote_ch = from.remote_ch;
  }
  if (Is(c, {WM_RADIO_QUALITY})) {
    to.radio_quality = from.radio_quality;
  }
  if (Is(c, {WM_STANDBY})) {
    to.standby_state_channel = from.standby_state_channel;
    to.standby_group = from.standby_group;
    to.standby_state_receiver = from.standby_state_receiver;
  }
}

int Result(const LemzRadioState& state) {
  return isDefaultInitCommand(state.command) ? -1 : 0;
}

size_t CallerIdLength(const LemzRadioState& state) {
  return strnlen(state.caller_id, sizeof state.caller_id - 1);
}

}  // namespace

bool LemzRadioGWControl::AccessFormChanToRadio(const LemzRadioState& p) {
  const LemzRadioState& r = radio_;
  const in_addr own = reinterpret_cast<const sockaddr_in*>(OwnAddress().GetSockAddr())->sin_addr;
  return r.ptt == 0 || r.session_addr.s_addr == own.s_addr ||
         (isPTTCommand(p.command) && p.priority < r.priority && p.ptt != 0) ||
         p.source_addr.s_addr == r.session_addr.s_addr;
}

int LemzRadioGWControl::PutProtoFromChanToRadio(const LemzRadioState& p) {
  channel_.session_addr = p.source_addr;
  channel_.session_ssrc = p.source_ssrc;
  TakeGatewayCommand(p, channel_);
  return Result(p);
}

int LemzRadioGWControl::PutProtoFromRadioToChan(const LemzRadioState& s) {
  TakeAnnouncement(s, radio_);
  if (Is(s.command, {WM_TRANS, WM_SEL_CALL_TRANS})) {
    radio_.session_addr = s.session_addr;
    radio_.session_ssrc = s.session_ssrc;
  }
  return Result(s);
}

int LemzRadioGWControl::EncodeProto(const LemzRadioState& s, sig_proto& packet) {
  EncodeHeader(s, packet);
  switch (s.command) {
    case WM_FLAG:
      return 0;
    case WM_TRANS:
      sig_proto_set_wm_transmite(&packet, s.session_addr, s.session_ssrc);
      return 0;
    case WM_RADIO_QUALITY:
      sig_proto_set_wm_radio_quality(&packet, s.radio_quality);
      return 0;
    case WM_CHAN:
      sig_proto_set_wm_chan(&packet, static_cast<uint32_t>(s.channel), s.frequency, Low(s.squelshe), Low(s.rte));
      return 0;
    case WM_SEL_CALL_TRANS:
      sig_proto_set_wm_selcall_transmite(&packet, s.session_addr, s.session_ssrc, s.caller_id, CallerIdLength(s));
      return 0;
    case WM_SELECT_RC_CHAN:
      sig_proto_set_wm_select_rc_chan(&packet, Low(s.remote_no), Low(s.remote_ch));
      return 0;
    case WM_STANDBY:
      sig_proto_set_wm_standby(&packet, Low(s.standby_state_channel), Low(s.standby_group),
                               Low(s.standby_state_receiver));
      return 0;
    default:
      return -1;
  }
}

unsigned long LemzRadioGWControl::ProcessRadioStatus(unsigned long now, unsigned long interval) {
  now_ = static_cast<uint32_t>(now);
  const LemzRadioState& r = radio_;
  if (Age(flag_time_) >= kAnnouncePeriodMs) {
    const int command = r.ptt == 0 ? WM_FLAG : (r.caller_id[0] != '\0' ? WM_SEL_CALL_TRANS : WM_TRANS);
    static_cast<void>(Announce(command, flag_time_));
  }
  if (Age(chan_time_) >= kAnnouncePeriodMs && r.channel >= 0 && r.frequency >= 0.0f) {
    static_cast<void>(Announce(WM_CHAN, chan_time_));
  }
  if (r.remote_no >= 0 && r.remote_ch >= 0) {
    static_cast<void>(Announce(WM_SELECT_RC_CHAN, remote_time_));
  }
  if (Age(standby_time_) >= kAnnouncePeriodMs && r.standby_state_channel >= 0 && r.standby_group >= 0 &&
      r.standby_state_receiver >= 0) {
    static_cast<void>(Announce(WM_STANDBY, standby_time_));
  }
  const uint32_t oldest = std::max({Age(flag_time_), Age(chan_time_), Age(remote_time_), Age(standby_time_)});
  return oldest > 0 && oldest < interval ? interval - oldest + 10 : interval;
}

int LemzRadioWSControl::PutProtoFromRadioToChan(const LemzRadioState& s) {
  // The create status sets every field: the commands alone would leave the standby group and receiver state
  // unset, and no report could carry them.
  if (isDefaultInitCommand(s.command)) {
    radio_ = s;
    return -1;
  }
  TakeGatewayCommand(s, radio_);
  return Result(s);
}

int LemzRadioWSControl::PutProtoFromChanToRadio(const LemzRadioState& p) {
  channel_.session_addr = p.source_addr;
  channel_.session_ssrc = p.source_ssrc;
  TakeAnnouncement(p, channel_);
  if (Is(p.command, {WM_SEL_CALL_TRANS})) {
    channel_.session_addr = p.session_addr;
    channel_.session_ssrc = p.session_ssrc;
  }
  return Result(p);
}

int LemzRadioWSControl::EncodeProto(const LemzRadioState& s, sig_proto& packet) {
  EncodeHeader(s, packet);
  switch (s.command) {
    case GW_FLAG:
    case GW_FLAG_PTT:
    case GW_FLAG_BSS:
    case GW_FLAG_RV:
    case GW_FLAG_SH:
    case GW_FLAG_PW:
    case GW_FLAG_RS:
      return 0;
    case GW_ADJUST_CHAN:
      sig_proto_set_gw_adjust_chan(&packet, static_cast<uint32_t>(s.channel), s.frequency);
      return 0;
    case GW_SEL_CALL:
      sig_proto_set_gw_selcall(&packet, s.caller_id, CallerIdLength(s));
      return 0;
    case GW_SELECT_RC_CHAN:
      sig_proto_set_gw_select_rc_chan(&packet, Low(s.remote_no), Low(s.remote_ch));
      return 0;
    case GW_ADJUST_SQUELSHE:
      sig_proto_set_gw_adjust_squelsh(&packet, Low(s.squelshe));
      return 0;
    case GW_ADJUST_RTE:
      sig_proto_set_gw_adjust_rte(&packet, Low(s.rte));
      return 0;
    case GW_ADJUST_STANDBY:
      sig_proto_set_gw_adjust_standby(&packet, Low(s.standby_state_channel));
      return 0;
    default:
      return -1;
  }
}

}  // namespace RTPSignalling
