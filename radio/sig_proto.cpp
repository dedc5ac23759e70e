#include "radio/sig_proto.h"

#include "platform/ByteOrder.h"
#include "radio/RadioCodec.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

const s_sig_proto_table_name sig_proto_packet_const_name[kSigProtoNameTableSize] = {
    {GW_FLAG, "GW_FLAG"},
    {GW_ADJUST_CHAN, "GW_ADJUST_CHAN"},
    {GW_FLAG_PTT, "GW_FLAG_PTT"},
    {GW_FLAG_BSS, "GW_FLAG_BSS"},
    {GW_FLAG_RV, "GW_FLAG_RV"},
    {GW_FLAG_SH, "GW_FLAG_SH"},
    {GW_FLAG_PW, "GW_FLAG_PW"},
    {GW_FLAG_RS, "GW_FLAG_RS"},
    {GW_SEL_CALL, "GW_SEL_CALL"},
    {GW_SELECT_RC_CHAN, "GW_SELECT_RC_CHAN"},
    {GW_ADJUST_SQUELSHE, "GW_ADJUST_SQUELSHE"},
    {GW_ADJUST_RTE, "GW_ADJUST_RTE"},
    {GW_ADJUST_STANDBY, "GW_ADJUST_STANDBY"},
    {WM_FLAG, "WM_FLAG"},
    {WM_TRANS, "WM_TRANS"},
    {WM_RADIO_QUALITY, "WM_RADIO_QUALITY"},
    {WM_CHAN, "WM_CHAN"},
    {WM_SEL_CALL_TRANS, "WM_SEL_CALL_TRANS"},
    {WM_SELECT_RC_CHAN, "WM_SELECT_RC_CHAN"},
    {WM_STANDBY, "WM_STANDBY"},
    {-1, ""},
};

namespace {

constexpr size_t kHeaderSize = 4;

const uint32_t init_sig_proto_type[] = {
    GW_FLAG,    GW_FLAG_PTT,    GW_FLAG_BSS,      GW_FLAG_RV,        GW_FLAG_SH,        GW_FLAG_PW,
    GW_FLAG_RS, GW_ADJUST_CHAN, GW_SEL_CALL,      GW_SELECT_RC_CHAN, GW_ADJUST_STANDBY, WM_FLAG,
    WM_TRANS,   WM_CHAN,        WM_RADIO_QUALITY, WM_SEL_CALL_TRANS, WM_STANDBY,
};
static_assert(sizeof init_sig_proto_type / sizeof init_sig_proto_type[0] <= kSigProtoQueueSize,
              "every command has its entry in the queue");

constexpr size_t kMaxCallerId = kSigProtoCallerIdSize - 1;

size_t RoundUp4(size_t length) {
  return (length + 3) & ~size_t{3};
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float BitsFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The host's byte order, tested at run time: whether 0x01234567 lies in memory with 0x67 first.
bool is_little_endian() {
  const uint32_t word = 0x01234567;
  uint8_t first;
  std::memcpy(&first, &word, 1);
  return first == 0x67;
}

// The four bytes of a 32-bit number as the host keeps it, to or from its little-endian sequence.
void CopyAsLittleEndian(const uint8_t* from, uint8_t* to) {
  if (is_little_endian()) {
    std::copy(from, from + 4, to);
  } else {
    std::reverse_copy(from, from + 4, to);
  }
}

// The address travels as a little-endian 32-bit number, the last octet of the dotted form first, on every host.
void StoreReversedAddr(uint8_t* p, in_addr address) {
  const uint32_t number = ntohl(address.s_addr);
  CopyAsLittleEndian(reinterpret_cast<const uint8_t*>(&number), p);
}

in_addr LoadReversedAddr(const uint8_t* p) {
  uint32_t number;
  CopyAsLittleEndian(p, reinterpret_cast<uint8_t*>(&number));
  in_addr address;
  address.s_addr = htonl(number);
  return address;
}

bool IsKnownType(uint32_t type) {
  return (type >= GW_FLAG && type <= GW_ADJUST_STANDBY) || (type >= WM_FLAG && type <= WM_STANDBY);
}

// [type:8] [prio:4|t|p|r|s] [b|rv|sh|pw|status 8..5] [status 4..0|c:2|rs]
void PackHeader(const sig_proto& p, uint8_t* out) {
  out[0] = static_cast<uint8_t>(p.type);
  out[1] = static_cast<uint8_t>((p.priority & 0xF) << 4 | (p.flag_t & 1) << 3 | (p.flag_p & 1) << 2 |
                                (p.flag_r & 1) << 1 | (p.flag_s & 1));
  out[2] = static_cast<uint8_t>((p.flag_b & 1) << 7 | (p.flag_rv & 1) << 6 | (p.flag_sh & 1) << 5 |
                                (p.flag_pw & 1) << 4 | ((p.status >> 5) & 0xF));
  out[3] = static_cast<uint8_t>((p.status & 0x1F) << 3 | (p.flag_c & 3) << 1 | (p.flag_rs & 1));
}

void UnpackHeader(const uint8_t* in, sig_proto& p) {
  p.type = in[0];
  p.priority = in[1] >> 4;
  p.flag_t = (in[1] >> 3) & 1;
  p.flag_p = (in[1] >> 2) & 1;
  p.flag_r = (in[1] >> 1) & 1;
  p.flag_s = in[1] & 1;
  p.flag_b = (in[2] >> 7) & 1;
  p.flag_rv = (in[2] >> 6) & 1;
  p.flag_sh = (in[2] >> 5) & 1;
  p.flag_pw = (in[2] >> 4) & 1;
  p.status = (in[2] & 0xFu) << 5 | in[3] >> 3;
  p.flag_c = (in[3] >> 1) & 3;
  p.flag_rs = in[3] & 1;
}

// The length of a body of fixed size, header included; the caller-ID bodies are sized by their callers.
size_t FixedSize(uint32_t type) {
  switch (type) {
    case GW_ADJUST_CHAN:
    case WM_TRANS:
      return 12;
    case GW_SELECT_RC_CHAN:
    case GW_ADJUST_SQUELSHE:
    case GW_ADJUST_RTE:
    case GW_ADJUST_STANDBY:
    case WM_RADIO_QUALITY:
    case WM_SELECT_RC_CHAN:
    case WM_STANDBY:
      return 8;
    case WM_CHAN:
      return 16;
    default:
      return kHeaderSize;
  }
}

// The space packing demands; for the caller-ID bodies it exceeds the packed length by up to 7 bytes, which the
// callers' 1024-byte buffers always hold.
size_t PackSpace(const sig_proto& p) {
  switch (p.type) {
    case GW_SEL_CALL:
      return p.body.gw_sel_call.callerID_length + 12u;
    case WM_SEL_CALL_TRANS:
      return p.body.wm_sel_call_trans.callerID_length + 20u;
    default:
      return FixedSize(p.type);
  }
}

// Writes the body behind the header into a cleared buffer of PackSpace bytes; returns the packed length.
size_t PackBody(const sig_proto& p, uint8_t* out) {
  const sig_proto_body& b = p.body;
  switch (p.type) {
    case GW_ADJUST_CHAN:
      platform::StoreBe32(out + 4, b.gw_adjust_chan.id);
      platform::StoreBe32(out + 8, FloatBits(b.gw_adjust_chan.freq));
      return 12;
    case GW_SEL_CALL:
      out[4] = b.gw_sel_call.callerID_length;
      std::memcpy(out + 5, b.gw_sel_call.callerID, out[4]);
      return RoundUp4(5u + out[4]);
    case GW_SELECT_RC_CHAN:
    case WM_SELECT_RC_CHAN:  // the two bodies share their layout
      out[4] = b.gw_select_rc_chan.interface;
      out[5] = b.gw_select_rc_chan.channel;
      return 8;
    case GW_ADJUST_SQUELSHE:
      out[4] = b.gw_adjust_squelsh.squelsh;
      return 8;
    case GW_ADJUST_RTE:
      out[4] = b.gw_adjust_rte.rte;
      return 8;
    case GW_ADJUST_STANDBY:
      out[4] = b.gw_adjust_standby.state;
      return 8;
    case WM_TRANS:
      StoreReversedAddr(out + 4, b.wm_trans.session_addr);
      platform::StoreBe32(out + 8, b.wm_trans.ssrc);
      return 12;
    case WM_RADIO_QUALITY:
      platform::StoreBe32(out + 4, FloatBits(b.wm_radio_quality.radio_quality));
      return 8;
    case WM_CHAN:
      platform::StoreBe32(out + 4, b.wm_chan.id);
      platform::StoreBe32(out + 8, FloatBits(b.wm_chan.freq));
      out[12] = b.wm_chan.squelsh;
      out[13] = b.wm_chan.rte;
      return 16;
    case WM_SEL_CALL_TRANS:
      StoreReversedAddr(out + 4, b.wm_sel_call_trans.session_addr);
      platform::StoreBe32(out + 8, b.wm_sel_call_trans.ssrc);
      out[12] = b.wm_sel_call_trans.callerID_length;
      std::memcpy(out + 13, b.wm_sel_call_trans.callerID, out[12]);
      return RoundUp4(13u + out[12]);
    case WM_STANDBY:
      out[4] = b.wm_standby.state;
      out[5] = b.wm_standby.group;
      out[6] = b.wm_standby.receiver_state;
      return 8;
    default:
      return kHeaderSize;
  }
}

// The bytes a packet of a known type must hold; the caller-ID bodies are read in two steps, length byte first.
size_t UnpackNeed(uint8_t type, const uint8_t* in, size_t size) {
  switch (type) {
    case GW_SEL_CALL:
      return size < 5 ? 5 : 5u + in[4];
    case WM_SEL_CALL_TRANS:
      return size < 13 ? 13 : 13u + in[12];
    default:
      return FixedSize(type);
  }
}

// Fills the members the type carries; the others keep what the body held.
void UnpackBody(uint8_t type, const uint8_t* in, sig_proto_body& b) {
  switch (type) {
    case GW_ADJUST_CHAN:
      b.gw_adjust_chan.id = platform::LoadBe32(in + 4);
      b.gw_adjust_chan.freq = BitsFloat(platform::LoadBe32(in + 8));
      return;
    case GW_SEL_CALL:
      b.gw_sel_call.callerID_length = in[4];
      std::memcpy(b.gw_sel_call.callerID, in + 5, in[4]);
      return;
    case GW_SELECT_RC_CHAN:
    case WM_SELECT_RC_CHAN:
      b.gw_select_rc_chan.interface = in[4];
      b.gw_select_rc_chan.channel = in[5];
      return;
    case GW_ADJUST_SQUELSHE:
      b.gw_adjust_squelsh.squelsh = in[4];
      return;
    case GW_ADJUST_RTE:
      b.gw_adjust_rte.rte = in[4];
      return;
    case GW_ADJUST_STANDBY:
      b.gw_adjust_standby.state = in[4];
      return;
    case WM_TRANS:
      b.wm_trans.session_addr = LoadReversedAddr(in + 4);
      b.wm_trans.ssrc = platform::LoadBe32(in + 8);
      return;
    case WM_RADIO_QUALITY:
      b.wm_radio_quality.radio_quality = BitsFloat(platform::LoadBe32(in + 4));
      return;
    case WM_CHAN:
      b.wm_chan.id = platform::LoadBe32(in + 4);
      b.wm_chan.freq = BitsFloat(platform::LoadBe32(in + 8));
      b.wm_chan.squelsh = in[12];
      b.wm_chan.rte = in[13];
      return;
    case WM_SEL_CALL_TRANS:
      b.wm_sel_call_trans.session_addr = LoadReversedAddr(in + 4);
      b.wm_sel_call_trans.ssrc = platform::LoadBe32(in + 8);
      b.wm_sel_call_trans.callerID_length = in[12];
      std::memcpy(b.wm_sel_call_trans.callerID, in + 13, in[12]);
      return;
    case WM_STANDBY:
      b.wm_standby.state = in[4];
      b.wm_standby.group = in[5];
      b.wm_standby.receiver_state = in[6];
      return;
    default:
      return;
  }
}

// Appends lines to a text buffer and never writes past it: a line that does not fit is cut and ends the text.
class TextOut {
 public:
  TextOut(char* text, size_t size) : text_(text), size_(size) {}

  __attribute__((format(printf, 2, 3))) void Line(const char* format, ...) {
    if (length_ + 1 >= size_) {
      return;
    }
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text_ + length_, size_ - length_, format, args);
    va_end(args);
    if (written > 0) {
      length_ = std::min(length_ + static_cast<size_t>(written), size_ - 1);
    }
  }
  int Length() const { return static_cast<int>(length_); }

 private:
  char* text_;
  size_t size_;
  size_t length_ = 0;
};

unsigned long Ul(uint32_t value) {
  return value;
}

void CallerIdLines(TextOut& out, const char* name, uint8_t length, const char* caller_id) {
  out.Line("%s.callerID_length: %d,\n", name, length);
  out.Line("%s.callerID : \n", name);
  for (int i = 0; i < length; ++i) {
    out.Line("[%d] : 0x%02X,\n", i, static_cast<uint8_t>(caller_id[i]));
  }
}

void AddressLine(TextOut& out, const char* format, in_addr address) {
  char text[32];
  out.Line(format, inet_ntop(AF_INET, &address, text, sizeof text));
}

void sprintf_base(TextOut&, const sig_proto_body&) {}
void sprintf_gw_adjust_chan(TextOut& out, const sig_proto_body& b) {
  out.Line("gw_adjust_chan.id   : %lu,\n", Ul(b.gw_adjust_chan.id));
  out.Line("gw_adjust_chan.freq : %4.4f,\n", b.gw_adjust_chan.freq);
}
void sprintf_gw_selcall(TextOut& out, const sig_proto_body& b) {
  CallerIdLines(out, "gw_sel_call", b.gw_sel_call.callerID_length, b.gw_sel_call.callerID);
}
void sprintf_gw_select_rc_chan(TextOut& out, const sig_proto_body& b) {
  out.Line("gw_select_rc_chan.interface : %d,\n", b.gw_select_rc_chan.interface);
  out.Line("gw_select_rc_chan.channel   : %d,\n", b.gw_select_rc_chan.channel);
}
void sprintf_gw_adjust_squelsh(TextOut& out, const sig_proto_body& b) {
  out.Line("gw_adjust_squelsh.squelsh   : %d,\n", b.gw_adjust_squelsh.squelsh);
}
void sprintf_gw_adjust_rte(TextOut& out, const sig_proto_body& b) {
  out.Line("gw_adjust_rte.rte   : %d,\n", b.gw_adjust_rte.rte);
}
void sprintf_gw_adjust_standby(TextOut& out, const sig_proto_body& b) {
  out.Line("gw_adjust_standby.state   : %d,\n", b.gw_adjust_standby.state);
}
void sprintf_wm_trans(TextOut& out, const sig_proto_body& b) {
  AddressLine(out, "wm_trans.session_addr : %s,\n", b.wm_trans.session_addr);
  out.Line("wm_trans.ssrc         : 0x%08lX,\n", Ul(b.wm_trans.ssrc));
}
void sprintf_wm_radio_qulity(TextOut& out, const sig_proto_body& b) {
  out.Line("wm_radio_quality.radio_quality : %4.5f,\n", b.wm_radio_quality.radio_quality);
}
void sprintf_wm_chan(TextOut& out, const sig_proto_body& b) {
  out.Line("wm_chan.id   : %lu,\n", Ul(b.wm_chan.id));
  out.Line("wm_chan.freq : %4.4f,\n", b.wm_chan.freq);
  out.Line("wm_chan.squelsh : %d,\n", b.wm_chan.squelsh);
  out.Line("wm_chan.rte     : %d,\n", b.wm_chan.rte);
}
void sprintf_wm_selcall(TextOut& out, const sig_proto_body& b) {
  AddressLine(out, "wm_sel_call_trans.session_addr : %s,\n", b.wm_sel_call_trans.session_addr);
  out.Line("wm_sel_call_trans.ssrc         : 0x%08lX,\n", Ul(b.wm_sel_call_trans.ssrc));
  CallerIdLines(out, "wm_sel_call_trans", b.wm_sel_call_trans.callerID_length, b.wm_sel_call_trans.callerID);
}
void sprintf_wm_select_rc_chan(TextOut& out, const sig_proto_body& b) {
  out.Line("wm_select_rc_chan.interface : %d,\n", b.wm_select_rc_chan.interface);
  out.Line("wm_select_rc_chan.channel   : %d,\n", b.wm_select_rc_chan.channel);
}
void sprintf_wm_standby(TextOut& out, const sig_proto_body& b) {
  out.Line("wm_standby.state           : %d,\n", b.wm_standby.state);
  out.Line("wm_standby.group           : %d,\n", b.wm_standby.group);
  out.Line("wm_standby.receiver_state  : %d,\n", b.wm_standby.receiver_state);
}

using BodyDumper = void (*)(TextOut&, const sig_proto_body&);
const struct {
  uint32_t type;
  BodyDumper dump;
} sig_proto_sprintf_table[] = {
    {0, sprintf_base},
    {GW_FLAG, sprintf_base},
    {GW_ADJUST_CHAN, sprintf_gw_adjust_chan},
    {GW_FLAG_PTT, sprintf_base},
    {GW_FLAG_BSS, sprintf_base},
    {GW_FLAG_RV, sprintf_base},
    {GW_FLAG_SH, sprintf_base},
    {GW_FLAG_PW, sprintf_base},
    {GW_FLAG_RS, sprintf_base},
    {GW_SEL_CALL, sprintf_gw_selcall},
    {GW_SELECT_RC_CHAN, sprintf_gw_select_rc_chan},
    {GW_ADJUST_SQUELSHE, sprintf_gw_adjust_squelsh},
    {GW_ADJUST_RTE, sprintf_gw_adjust_rte},
    {GW_ADJUST_STANDBY, sprintf_gw_adjust_standby},
    {WM_FLAG, sprintf_base},
    {WM_TRANS, sprintf_wm_trans},
    {WM_RADIO_QUALITY, sprintf_wm_radio_qulity},
    {WM_CHAN, sprintf_wm_chan},
    {WM_SEL_CALL_TRANS, sprintf_wm_selcall},
    {WM_SELECT_RC_CHAN, sprintf_wm_select_rc_chan},
    {WM_STANDBY, sprintf_wm_standby},
};

BodyDumper FindDumper(uint32_t type) {
  for (const auto& entry : sig_proto_sprintf_table) {
    if (entry.type == type) {
      return entry.dump;
    }
  }
  return nullptr;
}

int CompareDumps(const sig_proto* a, const sig_proto* b, int flags) {
  if (a == nullptr || b == nullptr) {
    return -1;
  }
  char text_a[8192];
  char text_b[8192];
  const int length_a = sprintf_sig_proto(text_a, sizeof text_a, a, flags);
  const int length_b = sprintf_sig_proto(text_b, sizeof text_b, b, flags);
  if (length_a != length_b) {
    return length_b - length_a;
  }
  return std::memcmp(text_a, text_b, static_cast<size_t>(length_a));
}

// Copies at most 255 bytes and never reads past the end of `text`; returns the number kept.
uint8_t CopyCallerId(char* caller_id, const char* text, size_t length) {
  std::memset(caller_id, 0, kSigProtoCallerIdSize);
  if (text == nullptr) {
    return 0;
  }
  const size_t kept = strnlen(text, std::min(length, kMaxCallerId));
  std::memcpy(caller_id, text, kept);
  return static_cast<uint8_t>(kept);
}

}  // namespace

int sig_proto_init(sig_proto* p) {
  if (p != nullptr) {
    std::memset(p, 0, sizeof *p);
  }
  return 0;
}

int init_sig_proto_queue(sig_proto_queue* queue) {
  if (queue == nullptr) {
    return 0;
  }
  std::memset(queue, 0, sizeof *queue);
  const size_t typed = sizeof init_sig_proto_type / sizeof init_sig_proto_type[0];
  for (size_t i = 0; i < kSigProtoQueueSize; ++i) {
    queue->entries[i].type = i < typed ? init_sig_proto_type[i] : ~0u;
  }
  return 0;
}

int sig_proto_pack(const sig_proto* p, uint8_t* buffer, size_t size) {
  if (p == nullptr || buffer == nullptr) {
    return 0;
  }
  if (size < kHeaderSize) {
    return kRadioCodecShort;
  }
  std::memset(buffer, 0, size);
  PackHeader(*p, buffer);
  if (size < PackSpace(*p)) {
    return kRadioCodecShort;
  }
  return static_cast<int>(PackBody(*p, buffer));
}

int sig_proto_unpack(sig_proto* p, const uint8_t* data, size_t size) {
  if (p == nullptr || data == nullptr) {
    return kRadioCodecMissing;
  }
  if (size < kHeaderSize) {
    return kRadioCodecShort;
  }
  if (!IsKnownType(data[0])) {
    p->type = data[0];
    return kRadioCodecUnknownType;
  }
  if (size < UnpackNeed(data[0], data, size)) {
    return kRadioCodecShort;
  }
  UnpackHeader(data, *p);
  UnpackBody(data[0], data, p->body);
  return 0;
}

int sig_proto_is_ptt_command(const sig_proto* p) {
  if (p == nullptr) {
    return 0;
  }
  switch (p->type) {
    case GW_FLAG:
    case GW_FLAG_PTT:
    case GW_SEL_CALL:
    case WM_FLAG:
    case WM_TRANS:
    case WM_SEL_CALL_TRANS:
      return 1;
    default:
      return 0;
  }
}

const char* sig_proto_find_name_by_id(const s_sig_proto_table_name* table, int id) {
  if (table == nullptr) {
    return nullptr;
  }
  for (size_t i = 0; i < kSigProtoNameTableSize && table[i].id >= 0; ++i) {
    if (table[i].id == id) {
      return table[i].name;
    }
  }
  return nullptr;
}

int sig_proto_find_id_by_name(const s_sig_proto_table_name* table, const char* name) {
  if (table == nullptr || name == nullptr) {
    return -1;
  }
  for (size_t i = 0; i < kSigProtoNameTableSize && table[i].id >= 0; ++i) {
    if (std::strcmp(table[i].name, name) == 0) {
      return table[i].id;
    }
  }
  return -1;
}

int sprintf_sig_proto(char* text, size_t size, const sig_proto* p, int flags) {
  if (text == nullptr || size < 1 || p == nullptr) {
    return 0;
  }
  const BodyDumper dump_body = FindDumper(p->type);
  if (dump_body == nullptr) {
    return 0;
  }
  std::memset(text, 0, size);
  TextOut out(text, size);
  const char* name = sig_proto_find_name_by_id(sig_proto_packet_const_name, static_cast<int>(p->type));
  if ((flags & kSigProtoDumpTypeName) != 0 && name != nullptr) {
    out.Line("type      : %s,\n", name);
  } else if ((flags & (kSigProtoDumpTypeName | kSigProtoDumpTypeHex)) != 0) {
    out.Line("type      : 0x%08lX,\n", Ul(p->type));
  }
  out.Line("flag_t   : %lu,\n", Ul(p->flag_t));
  out.Line("flag_p   : %lu,\n", Ul(p->flag_p));
  out.Line("flag_r   : %lu,\n", Ul(p->flag_r));
  out.Line("flag_s   : %lu,\n", Ul(p->flag_s));
  out.Line("flag_b   : %lu,\n", Ul(p->flag_b));
  out.Line("flag_rv  : %lu,\n", Ul(p->flag_rv));
  out.Line("flag_sh  : %lu,\n", Ul(p->flag_sh));
  out.Line("flag_rs  : %lu,\n", Ul(p->flag_rs));
  out.Line("flag_pw  : %lu,\n", Ul(p->flag_pw));
  out.Line("flag_c   : %lu,\n", Ul(p->flag_c));
  if ((flags & kSigProtoDumpFlagsOnly) != 0) {
    return out.Length();
  }
  out.Line("priority : %lu,\n", Ul(p->priority));
  out.Line("status   : %lu,\n", Ul(p->status));
  dump_body(out, p->body);
  return out.Length();
}

int cmp_sig_proto(const sig_proto* a, const sig_proto* b) {
  return CompareDumps(a, b, kSigProtoDumpTypeHex);
}

int cmp_sig_proto_flags(const sig_proto* a, const sig_proto* b) {
  return CompareDumps(a, b, kSigProtoDumpFlagsOnly);
}

int cmp_sig_proto_header(const sig_proto* a, const sig_proto* b) {
  if (a == nullptr || b == nullptr) {
    return -1;
  }
  if (a->type != b->type) {
    return static_cast<int>(b->type - a->type);
  }
  if (a->source_ssrc != b->source_ssrc) {
    return static_cast<int>(b->source_ssrc - a->source_ssrc);
  }
  return static_cast<int>(b->source_addr.s_addr - a->source_addr.s_addr);
}

int sig_proto_set_base(sig_proto* p, int priority, int t, int ptt, int r, int s, int b, int rv, int sh, int pw, int rs,
                       int c, int status) {
  if (p == nullptr) {
    return 0;
  }
  const struct {
    int value;
    uint32_t* field;
  } fields[] = {{priority, &p->priority}, {t, &p->flag_t},   {ptt, &p->flag_p}, {r, &p->flag_r},
                {s, &p->flag_s},          {b, &p->flag_b},   {rv, &p->flag_rv}, {sh, &p->flag_sh},
                {pw, &p->flag_pw},        {rs, &p->flag_rs}, {c, &p->flag_c},   {status, &p->status}};
  for (const auto& f : fields) {
    if (f.value >= 0) {
      *f.field = static_cast<uint32_t>(f.value);
    }
  }
  return 0;
}

int sig_proto_set_ptt(sig_proto* p, int ptt) {
  if (p != nullptr && ptt >= 0) {
    p->flag_p = static_cast<uint32_t>(ptt);
  }
  return 0;
}

int sig_proto_set_gw_adjust_chan(sig_proto* p, uint32_t id, float freq) {
  if (p != nullptr) {
    p->body.gw_adjust_chan = {id, freq};
  }
  return 0;
}

int sig_proto_set_gw_selcall(sig_proto* p, const char* text, size_t length) {
  if (p != nullptr) {
    p->body.gw_sel_call.callerID_length = CopyCallerId(p->body.gw_sel_call.callerID, text, length);
  }
  return 0;
}

int sig_proto_set_gw_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel) {
  if (p != nullptr) {
    p->body.gw_select_rc_chan = {interface, channel};
  }
  return 0;
}

int sig_proto_set_gw_adjust_squelsh(sig_proto* p, uint8_t squelsh) {
  if (p != nullptr) {
    p->body.gw_adjust_squelsh.squelsh = squelsh;
  }
  return 0;
}

int sig_proto_set_gw_adjust_rte(sig_proto* p, uint8_t rte) {
  if (p != nullptr) {
    p->body.gw_adjust_rte.rte = rte;
  }
  return 0;
}

int sig_proto_set_gw_adjust_standby(sig_proto* p, uint8_t state) {
  if (p != nullptr) {
    p->body.gw_adjust_standby.state = state;
  }
  return 0;
}

int sig_proto_set_wm_transmite(sig_proto* p, in_addr address, uint32_t ssrc) {
  if (p != nullptr) {
    p->body.wm_trans = {address, ssrc};
  }
  return 0;
}

int sig_proto_set_wm_selcall_transmite(sig_proto* p, in_addr address, uint32_t ssrc, const char* text, size_t length) {
  if (p != nullptr) {
    wm_sel_call_trans& body = p->body.wm_sel_call_trans;
    body.session_addr = address;
    body.ssrc = ssrc;
    body.callerID_length = CopyCallerId(body.callerID, text, length);
  }
  return 0;
}

int sig_proto_set_wm_radio_quality(sig_proto* p, float quality) {
  if (p != nullptr) {
    p->body.wm_radio_quality.radio_quality = quality;
  }
  return 0;
}

int sig_proto_set_wm_chan(sig_proto* p, uint32_t id, float freq, uint8_t squelsh, uint8_t rte) {
  if (p != nullptr) {
    wm_chan& body = p->body.wm_chan;
    body.id = id;
    body.freq = freq;
    body.squelsh = squelsh;
    body.rte = rte;
  }
  return 0;
}

int sig_proto_set_wm_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel) {
  if (p != nullptr) {
    p->body.wm_select_rc_chan = {interface, channel};
  }
  return 0;
}

int sig_proto_set_wm_standby(sig_proto* p, uint8_t state, uint8_t group, uint8_t receiver_state) {
  if (p != nullptr) {
    p->body.wm_standby = {state, group, receiver_state};
  }
  return 0;
}
