#pragma once

// The LEMZ radio signalling packets carried in the RTP header extension of a radio voice session: the decoded
// record, its packing into wire bytes and back, the command names, text dumps and comparisons. Plain functions over
// caller-supplied records and buffers; no logging, no allocation. Results follow RadioCodec.h.

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

// Command identifiers: 1 to 13 go from a workstation to the gateway, 129 to 135 from the gateway to the workstations.
enum sig_proto_type : uint32_t {
  GW_FLAG = 1,
  GW_ADJUST_CHAN = 2,
  GW_FLAG_PTT = 3,
  GW_FLAG_BSS = 4,
  GW_FLAG_RV = 5,
  GW_FLAG_SH = 6,
  GW_FLAG_PW = 7,
  GW_FLAG_RS = 8,
  GW_SEL_CALL = 9,
  GW_SELECT_RC_CHAN = 10,
  GW_ADJUST_SQUELSHE = 11,
  GW_ADJUST_RTE = 12,
  GW_ADJUST_STANDBY = 13,
  WM_FLAG = 129,
  WM_TRANS = 130,
  WM_RADIO_QUALITY = 131,
  WM_CHAN = 132,
  WM_SEL_CALL_TRANS = 133,
  WM_SELECT_RC_CHAN = 134,
  WM_STANDBY = 135,
};

constexpr size_t kSigProtoCallerIdSize = 256;  // 255 caller-ID bytes and the zero byte that always follows them
constexpr size_t kSigProtoBodySize = 268;

// Body layouts, host order.
struct gw_adjust_chan {
  uint32_t id;
  float freq;
};
struct gw_sel_call {
  uint8_t callerID_length;
  char callerID[kSigProtoCallerIdSize];
};
struct gw_select_rc_chan {
  uint8_t interface;
  uint8_t channel;
};
struct gw_adjust_squelsh {
  uint8_t squelsh;
};
struct gw_adjust_rte {
  uint8_t rte;
};
struct gw_adjust_standby {
  uint8_t state;
};
struct wm_trans {
  in_addr session_addr;
  uint32_t ssrc;
};
struct wm_radio_quality {
  float radio_quality;
};
struct wm_chan {
  uint32_t id;
  float freq;
  uint8_t squelsh;
  uint8_t rte;
};
struct wm_sel_call_trans {
  in_addr session_addr;
  uint32_t ssrc;
  uint8_t callerID_length;
  char callerID[kSigProtoCallerIdSize];
};
struct wm_select_rc_chan {
  uint8_t interface;
  uint8_t channel;
};
struct wm_standby {
  uint8_t state;
  uint8_t group;
  uint8_t receiver_state;
};

union sig_proto_body {
  ::gw_adjust_chan gw_adjust_chan;
  ::gw_sel_call gw_sel_call;
  ::gw_select_rc_chan gw_select_rc_chan;
  ::gw_adjust_squelsh gw_adjust_squelsh;
  ::gw_adjust_rte gw_adjust_rte;
  ::gw_adjust_standby gw_adjust_standby;
  ::wm_trans wm_trans;
  ::wm_radio_quality wm_radio_quality;
  ::wm_chan wm_chan;
  ::wm_sel_call_trans wm_sel_call_trans;
  ::wm_select_rc_chan wm_select_rc_chan;
  ::wm_standby wm_standby;
  uint8_t bytes[kSigProtoBodySize];
};
static_assert(sizeof(sig_proto_body) == kSigProtoBodySize, "the largest body, WM_SEL_CALL_TRANS, sets the size");

// One packet. source_addr and source_ssrc are not on the wire: the receive path fills them from the device.
struct sig_proto {
  in_addr source_addr;
  uint32_t source_ssrc;
  uint32_t type;
  uint32_t priority;  // 4 bits; smaller is higher
  uint32_t flag_t;
  uint32_t flag_p;
  uint32_t flag_r;
  uint32_t flag_s;
  uint32_t flag_b;
  uint32_t flag_rv;
  uint32_t flag_sh;
  uint32_t flag_rs;
  uint32_t flag_pw;
  uint32_t flag_c;  // 2 bits
  uint32_t status;  // 9 bits
  sig_proto_body body;
};

struct s_sig_proto_table_name {
  int id = 0;
  const char* name = "";
};
constexpr size_t kSigProtoNameTableSize = 128;
// The twenty commands in identifier order, then an end mark of id -1.
extern const s_sig_proto_table_name sig_proto_packet_const_name[kSigProtoNameTableSize];

// Dump format flags.
enum : int {
  kSigProtoDumpTypeHex = 1,   // type line in hexadecimal
  kSigProtoDumpTypeName = 2,  // type line by name, hexadecimal when the type has none
  kSigProtoDumpFlagsOnly = 4,
};

// A fixed set of packet records, one per command in the order init_sig_proto_queue gives them, and spare room.
constexpr size_t kSigProtoQueueSize = 32;
struct sig_proto_queue {
  sig_proto entries[kSigProtoQueueSize];
  uint8_t spare[128];
};

int sig_proto_init(sig_proto* p);
// Zeroes the queue and gives entries 0 to 16 the types 1, 3 to 8, 2, 9, 10, 13, 129, 130, 132, 131, 133 and 135,
// the others type -1. Returns 0, also for a null queue.
int init_sig_proto_queue(sig_proto_queue* queue);
// Packed length (4 to 268); kRadioCodecShort when `size` cannot hold the packet; 0 without record or buffer. The
// whole buffer is cleared first.
int sig_proto_pack(const sig_proto* p, uint8_t* buffer, size_t size);
// 0 with the header and the type's body filled; on failure the record is left as it was, except that an unknown
// command stores its identifier in `type`.
int sig_proto_unpack(sig_proto* p, const uint8_t* data, size_t size);
int sig_proto_is_ptt_command(const sig_proto* p);
const char* sig_proto_find_name_by_id(const s_sig_proto_table_name* table, int id);
int sig_proto_find_id_by_name(const s_sig_proto_table_name* table, const char* name);
// Characters written, never more than size - 1; 0 when an argument is missing or the type has no dumper.
int sprintf_sig_proto(char* text, size_t size, const sig_proto* p, int flags);
// 0 when the dumps of the two records are equal (all fields, or the flags only); -1 when either is missing.
int cmp_sig_proto(const sig_proto* a, const sig_proto* b);
int cmp_sig_proto_flags(const sig_proto* a, const sig_proto* b);
// 0 for the same command from the same sender.
int cmp_sig_proto_header(const sig_proto* a, const sig_proto* b);

// Setters store what they are given; packing masks each field to its width. A negative argument of
// sig_proto_set_base or sig_proto_set_ptt leaves that field alone.
int sig_proto_set_base(sig_proto* p, int priority, int t, int ptt, int r, int s, int b, int rv, int sh, int pw, int rs,
                       int c, int status);
int sig_proto_set_ptt(sig_proto* p, int ptt);
int sig_proto_set_gw_adjust_chan(sig_proto* p, uint32_t id, float freq);
// At most 255 bytes, and never past the end of `text`; the length byte is the number of bytes kept.
int sig_proto_set_gw_selcall(sig_proto* p, const char* text, size_t length);
int sig_proto_set_gw_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel);
int sig_proto_set_gw_adjust_squelsh(sig_proto* p, uint8_t squelsh);
int sig_proto_set_gw_adjust_rte(sig_proto* p, uint8_t rte);
int sig_proto_set_gw_adjust_standby(sig_proto* p, uint8_t state);
int sig_proto_set_wm_transmite(sig_proto* p, in_addr address, uint32_t ssrc);
int sig_proto_set_wm_selcall_transmite(sig_proto* p, in_addr address, uint32_t ssrc, const char* text, size_t length);
int sig_proto_set_wm_radio_quality(sig_proto* p, float quality);
int sig_proto_set_wm_chan(sig_proto* p, uint32_t id, float freq, uint8_t squelsh, uint8_t rte);
int sig_proto_set_wm_select_rc_chan(sig_proto* p, uint8_t interface, uint8_t channel);
int sig_proto_set_wm_standby(sig_proto* p, uint8_t state, uint8_t group, uint8_t receiver_state);
