#include "radio/sig_proto.h"

#include "radio/RadioCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

sig_proto Filled() {
  sig_proto p;
  std::memset(&p, 0xA5, sizeof p);
  return p;
}

TEST(SigProto, UnpackRefusesWithoutTouchingTheRecord) {
  const struct {
    const char* name;
    std::vector<uint8_t> in;
    int result;
  } kCases[] = {
      {"three bytes", {0x01, 0x00, 0x00}, kRadioCodecShort},
      {"channel header only", {0x02, 0x00, 0x00, 0x00}, kRadioCodecShort},
      {"selcall without its length", {0x09, 0x00, 0x00, 0x00}, kRadioCodecShort},
      {"selcall one byte short", {0x09, 0x00, 0x00, 0x00, 0x03, 0x41, 0x42}, kRadioCodecShort},
      {"selcall transmit without its length", std::vector<uint8_t>(12, 0x85), kRadioCodecShort},
      {"wm chan one byte short", {0x84, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kRadioCodecShort},
      {"type 0", {0x00, 0x00, 0x00, 0x00}, kRadioCodecUnknownType},
      {"type 14", {0x0E, 0xFF, 0xFF, 0xFF}, kRadioCodecUnknownType},
      {"type 200", {0xC8, 0x00, 0x00, 0x00, 0x01}, kRadioCodecUnknownType},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    sig_proto p = Filled();
    sig_proto expected = Filled();
    EXPECT_EQ(sig_proto_unpack(&p, c.in.data(), c.in.size()), c.result);
    if (c.result == kRadioCodecUnknownType) {
      expected.type = c.in[0];
    }
    EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
  }
  sig_proto p{};
  const uint8_t flag[] = {0x01, 0, 0, 0};
  EXPECT_EQ(sig_proto_unpack(nullptr, flag, 4), kRadioCodecMissing);
  EXPECT_EQ(sig_proto_unpack(&p, nullptr, 4), kRadioCodecMissing);
}

TEST(SigProto, UnpackIgnoresTrailingBytes) {
  const uint8_t kFlagAndMore[] = {0x81, 0x00, 0x00, 0x00, 0x55, 0x66};
  sig_proto p{};
  EXPECT_EQ(sig_proto_unpack(&p, kFlagAndMore, sizeof kFlagAndMore), 0);
  EXPECT_EQ(p.type, WM_FLAG);
}

TEST(SigProto, PackLengthsAndLimits) {
  sig_proto selcall3{};
  selcall3.type = GW_SEL_CALL;
  ASSERT_EQ(sig_proto_set_gw_selcall(&selcall3, "ABC", 3), 0);
  sig_proto selcall4 = selcall3;
  ASSERT_EQ(sig_proto_set_gw_selcall(&selcall4, "ABCD", 4), 0);
  sig_proto selcall0 = selcall3;
  ASSERT_EQ(sig_proto_set_gw_selcall(&selcall0, nullptr, 9), 0);
  sig_proto chan{};
  chan.type = WM_CHAN;
  // Every field one past its width: packing keeps the low bits; an identifier outside the table packs its header.
  sig_proto wide{};
  wide.type = 0x181;
  wide.priority = 0x13;
  wide.flag_p = 3;
  wide.flag_t = 2;
  wide.status = 0x3FF;
  wide.flag_c = 7;
  const struct {
    const char* name;
    const sig_proto* record;
    size_t size;
    int result;
    std::vector<uint8_t> out;
  } kCases[] = {
      {"selcall of 3 bytes", &selcall3, 64, 8, {0x09, 0, 0, 0, 0x03, 0x41, 0x42, 0x43}},
      {"selcall of 4 bytes", &selcall4, 64, 12, {0x09, 0, 0, 0, 0x04, 0x41, 0x42, 0x43, 0x44, 0, 0, 0}},
      {"selcall of none", &selcall0, 64, 8, {0x09, 0, 0, 0, 0, 0, 0, 0}},
      {"selcall demands 12 bytes more than its text", &selcall3, 15, 8, {0x09, 0, 0, 0, 0x03, 0x41, 0x42, 0x43}},
      {"selcall one byte below that", &selcall3, 14, kRadioCodecShort, {}},
      {"wm chan into 16", &chan, 16, 16, std::vector<uint8_t>{0x84, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"wm chan into 15", &chan, 15, kRadioCodecShort, {}},
      {"three bytes", &selcall0, 3, kRadioCodecShort, {}},
      {"fields masked", &wide, 4, 4, {0x81, 0x34, 0x0F, 0xFE}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> buffer(c.size, 0xEE);  // exactly the size given, so ASan sees any write past it
    const int result = sig_proto_pack(c.record, buffer.data(), buffer.size());
    EXPECT_EQ(result, c.result);
    if (result > 0) {
      EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + result), c.out);
    }
  }
  uint8_t buffer[16];
  EXPECT_EQ(sig_proto_pack(nullptr, buffer, sizeof buffer), 0);
  EXPECT_EQ(sig_proto_pack(&chan, nullptr, 16), 0);
}

TEST(SigProto, DumpFormsAndTypesWithoutDumper) {
  sig_proto p{};
  p.type = 14;
  char text[512];
  EXPECT_EQ(sprintf_sig_proto(text, sizeof text, &p, kSigProtoDumpTypeName), 0);
  p.type = 0;  // a dumper but no name
  ASSERT_GT(sprintf_sig_proto(text, sizeof text, &p, kSigProtoDumpTypeName), 0);
  EXPECT_EQ(std::string(text).rfind("type      : 0x00000000,\nflag_t   : 0,\n", 0), 0u) << text;
  p.type = GW_ADJUST_STANDBY;
  const int flags_only = sprintf_sig_proto(text, sizeof text, &p, kSigProtoDumpFlagsOnly);
  EXPECT_EQ(std::string(text, static_cast<size_t>(flags_only)).find("priority"), std::string::npos);
  EXPECT_EQ(std::string(text).back(), '\n');
  ASSERT_GT(sprintf_sig_proto(text, sizeof text, &p, kSigProtoDumpTypeHex), 0);
  EXPECT_EQ(std::string(text).rfind("type      : 0x0000000D,\n", 0), 0u);
  EXPECT_EQ(sprintf_sig_proto(text, 0, &p, kSigProtoDumpTypeHex), 0);
  EXPECT_EQ(sprintf_sig_proto(nullptr, sizeof text, &p, kSigProtoDumpTypeHex), 0);
}

TEST(SigProto, DumpNeverPassesItsBuffer) {
  sig_proto p{};
  p.type = WM_SEL_CALL_TRANS;
  ASSERT_EQ(sig_proto_set_wm_selcall_transmite(&p, in_addr{}, 1, std::string(255, 'x').c_str(), 255), 0);
  char full[8192];
  const int length = sprintf_sig_proto(full, sizeof full, &p, kSigProtoDumpTypeName);
  ASSERT_GT(length, 3000);
  for (size_t size = 1; size <= static_cast<size_t>(length) + 1; size += 97) {
    SCOPED_TRACE(size);
    std::vector<char> text(size + 8, '#');
    const int written = sprintf_sig_proto(text.data(), size, &p, kSigProtoDumpTypeName);
    ASSERT_LT(written, static_cast<int>(size));
    EXPECT_EQ(std::string(text.data(), static_cast<size_t>(written)), std::string(full, static_cast<size_t>(written)));
    EXPECT_EQ(std::string(text.end() - 8, text.end()), "########");
  }
}

TEST(SigProto, Comparisons) {
  sig_proto a{};
  a.type = WM_CHAN;
  ASSERT_EQ(sig_proto_set_wm_chan(&a, 7, 145.5f, 2, 5), 0);
  sig_proto b = a;
  EXPECT_EQ(cmp_sig_proto(&a, &b), 0);
  b.body.wm_chan.rte = 6;
  b.priority = 4;
  EXPECT_NE(cmp_sig_proto(&a, &b), 0);
  EXPECT_EQ(cmp_sig_proto_flags(&a, &b), 0);
  EXPECT_EQ(cmp_sig_proto_header(&a, &b), 0);
  b.source_ssrc = 9;
  EXPECT_NE(cmp_sig_proto_header(&a, &b), 0);
  b = a;
  b.source_addr.s_addr = 1;
  EXPECT_NE(cmp_sig_proto_header(&a, &b), 0);
  EXPECT_EQ(cmp_sig_proto(&a, nullptr), -1);
  EXPECT_EQ(cmp_sig_proto_header(nullptr, &b), -1);
}

TEST(SigProto, NamesAndPttCommands) {
  EXPECT_STREQ(sig_proto_find_name_by_id(sig_proto_packet_const_name, WM_STANDBY), "WM_STANDBY");
  EXPECT_EQ(sig_proto_find_name_by_id(sig_proto_packet_const_name, 0), nullptr);
  EXPECT_EQ(sig_proto_find_name_by_id(nullptr, 1), nullptr);
  EXPECT_EQ(sig_proto_find_id_by_name(sig_proto_packet_const_name, "GW_FLAG_RS"), GW_FLAG_RS);
  EXPECT_EQ(sig_proto_find_id_by_name(sig_proto_packet_const_name, ""), -1);
  EXPECT_EQ(sig_proto_find_id_by_name(sig_proto_packet_const_name, nullptr), -1);
  int ptt = 0;
  for (int type = 0; type < 256; ++type) {
    sig_proto p{};
    p.type = static_cast<uint32_t>(type);
    ptt += sig_proto_is_ptt_command(&p) * type;
  }
  EXPECT_EQ(ptt, 1 + 3 + 9 + 129 + 130 + 133);
}

TEST(SigProto, QueueInitGivesEachCommandItsEntry) {
  auto queue = std::make_unique<sig_proto_queue>();
  std::memset(queue.get(), 0xA5, sizeof *queue);
  ASSERT_EQ(init_sig_proto_queue(queue.get()), 0);
  const uint32_t kTypes[] = {1, 3, 4, 5, 6, 7, 8, 2, 9, 10, 13, 129, 130, 132, 131, 133, 135};
  sig_proto blank{};
  for (size_t i = 0; i < kSigProtoQueueSize; ++i) {
    SCOPED_TRACE(i);
    const uint32_t type = i < std::size(kTypes) ? kTypes[i] : 0xFFFFFFFFu;
    EXPECT_EQ(queue->entries[i].type, type);
    blank.type = type;
    EXPECT_EQ(std::memcmp(&queue->entries[i], &blank, sizeof blank), 0);
  }
  EXPECT_EQ(std::count(std::begin(queue->spare), std::end(queue->spare), 0), 128);
  EXPECT_EQ(init_sig_proto_queue(nullptr), 0);
}

TEST(SigProto, SettersBoundTheCallerId) {
  const std::string kLong(300, 'z');
  const struct {
    const char* name;
    const char* text;
    size_t length;
    size_t kept;
  } kCases[] = {
      {"length past the text", "abc", 300, 3},
      {"text past 255", kLong.c_str(), kLong.size(), 255},
      {"length below the text", "abcdef", 2, 2},
      {"no text", nullptr, 5, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    sig_proto p = Filled();
    ASSERT_EQ(sig_proto_set_gw_selcall(&p, c.text, c.length), 0);
    EXPECT_EQ(p.body.gw_sel_call.callerID_length, c.kept);
    EXPECT_EQ(strnlen(p.body.gw_sel_call.callerID, kSigProtoCallerIdSize), c.kept);
  }
  sig_proto p{};
  ASSERT_EQ(sig_proto_set_base(&p, 15, -1, 1, -1, -1, -1, -1, -1, -1, -1, 3, 511), 0);
  ASSERT_EQ(sig_proto_set_base(&p, -1, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1), 0);
  EXPECT_EQ(p.priority, 15u);
  EXPECT_EQ(p.flag_p, 1u);
  EXPECT_EQ(p.flag_t, 1u);
  EXPECT_EQ(p.status, 511u);
}

}  // namespace
