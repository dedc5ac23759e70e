#include "radio/LemzRadioControl.h"

#include "tests/support/LemzGolden.h"

#include "asn1/CoderEnv.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <string>

namespace {

using RTPSignalling::LemzRadioControl;
using RTPSignalling::LemzRadioState;

bool Encodes(const ASN1::AbstractData& value) {
  ASN1::CoderEnv env;
  std::vector<char> out;
  return ASN1::encode(value, &env, std::back_inserter(out));
}

LemzRadioState Created() {
  TERM::LemzRadioStatus status;
  EXPECT_TRUE(status.setFromValueNotation(test::kLemzCreateStatus));
  LemzRadioState state;
  state.command = 7;
  EXPECT_EQ(LemzRadioControl::DecodeASN(status, state), 0);
  return state;
}

// The fresh state's "not configured" values cannot be encoded; the create status replaces every one of them, so the
// status reported to the controller always encodes. Any one left behind is named.
TEST(LemzRadioControl, CreateStatusFillsEveryField) {
  const LemzRadioState created = Created();
  EXPECT_EQ(created.command, 0);
  EXPECT_EQ(LemzRadioControl::FindUnreportableField(created), nullptr);
  TERM::RtpRadioRequest request;
  LemzRadioControl::EncodeStatusASN(created, request);
  EXPECT_TRUE(Encodes(request));

  const LemzRadioState fresh;
  const struct {
    const char* field;
    std::function<void(LemzRadioState&)> keep_fresh;
  } kCases[] = {
      {"squelshe", [&](LemzRadioState& s) { s.squelshe = fresh.squelshe; }},
      {"rte", [&](LemzRadioState& s) { s.rte = fresh.rte; }},
      {"standby-state-channel", [&](LemzRadioState& s) { s.standby_state_channel = fresh.standby_state_channel; }},
      {"standby-group", [&](LemzRadioState& s) { s.standby_group = fresh.standby_group; }},
      {"standby-state-receiver", [&](LemzRadioState& s) { s.standby_state_receiver = fresh.standby_state_receiver; }},
      {"remote.no", [](LemzRadioState& s) { s.remote_no = -1; }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.field);
    LemzRadioState state = created;
    c.keep_fresh(state);
    ASSERT_NE(LemzRadioControl::FindUnreportableField(state), nullptr);
    EXPECT_STREQ(LemzRadioControl::FindUnreportableField(state), c.field);
    LemzRadioControl::EncodeStatusASN(state, request);
    EXPECT_FALSE(Encodes(request));
  }
}

// Far-end values the controller's messages cannot carry are named before a report is built; their neighbours at the
// limit are in the golden table. This coder writes IA5String octets as they are, so only the numbers fail in it.
TEST(LemzRadioControl, NamesUnreportablePacketFields) {
  const struct {
    const char* field;
    std::vector<uint8_t> wire;
    bool coder_refuses = true;
  } kCases[] = {
      {"gw_adjust_squelsh.squelsh", {0x0B, 0, 0, 0, 104, 0, 0, 0}},
      {"gw_adjust_rte.rte", {0x0C, 0, 0, 0, 8, 0, 0, 0}},
      {"gw_adjust_standby.state", {0x0D, 0, 0, 0, 2, 0, 0, 0}},
      {"wm_chan.squelsh", {0x84, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0xFF, 0, 0, 0}},
      {"wm_chan.rte", {0x84, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 2, 8, 0, 0}},
      {"wm_standby.state", {0x87, 0, 0, 0, 2, 0, 0, 0}},
      {"wm_standby.receiver_state", {0x87, 0, 0, 0, 1, 0, 0xFF, 0}},
      {"gw_sel_call.callerID", {0x09, 0, 0, 0, 3, 0x41, 0x80, 0x43}, false},
      {"wm_sel_call_trans.callerID", {0x85, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 1, 1, 0xFF, 0, 0}, false},
  };
  const LemzRadioState radio = Created();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.field);
    sig_proto packet{};
    ASSERT_EQ(sig_proto_unpack(&packet, c.wire.data(), c.wire.size()), 0);
    const char* field = LemzRadioControl::FindUnreportableField(packet);
    ASSERT_NE(field, nullptr);
    EXPECT_STREQ(field, c.field);
    LemzRadioState state;
    ASSERT_EQ(LemzRadioControl::DecodeProto(packet, state), 0);
    TERM::RtpRadioRequest request;
    LemzRadioControl::EncodeASN(radio, state, request);
    EXPECT_NE(Encodes(request), c.coder_refuses);
  }
}

TEST(LemzRadioControl, CommandsWithoutAlternative) {
  for (const uint32_t type : {0u, 14u}) {
    SCOPED_TRACE(type);
    sig_proto packet{};
    packet.type = type;
    LemzRadioState state;
    EXPECT_EQ(LemzRadioControl::DecodeProto(packet, state), -1);
    TERM::RtpRadioRequest request;
    LemzRadioControl::EncodeASN(Created(), state, request);
    ASSERT_TRUE(request.has_request());
    EXPECT_EQ(request.get_request().get_lemz().get_params().currentSelection(), ASN1::CHOICE::kNoSelection);
  }
  TERM::LemzRadioModifier unselected;
  LemzRadioState state;
  state.command = 9;
  LemzRadioControl::DecodeASN(unselected, state);
  EXPECT_EQ(state.command, 0);
}

TEST(LemzRadioControl, ModifierTexts) {
  const struct {
    const char* name;
    std::string modifier;
    std::function<void(const LemzRadioState&)> check;
  } kCases[] = {
      {"frequency text", R"({ addr { session-addr "1.2.3.4", session-ssrc 5 },
           params gw-set-freq : { freq { channel 3, frequency "12.250000" } } })",
       [](const LemzRadioState& s) {
         EXPECT_EQ(s.command, GW_ADJUST_CHAN);
         EXPECT_EQ(s.frequency, 12.25f);
         EXPECT_EQ(s.source_addr.s_addr, inet_addr("1.2.3.4"));
       }},
      {"frequency not a number", R"({ addr { session-addr "nowhere", session-ssrc 5 },
           params gw-set-freq : { freq { channel 3, frequency "MHz" } } })",
       [](const LemzRadioState& s) {
         EXPECT_EQ(s.frequency, 0.0f);
         EXPECT_EQ(s.source_addr.s_addr, INADDR_NONE);
       }},
      {"caller-ID cut to 255",
       R"({ addr { session-addr "1.2.3.4", session-ssrc 5 }, params wm-selcall : {
           flags { prio 1, ptt TRUE, bss FALSE, vad-rx FALSE, vad-tx FALSE, sql FALSE, sh FALSE, pwr FALSE, rv FALSE,
           resv FALSE, selcall 0, li 0 }, ip "5.6.7.8", ssrc 9, cid ")" +
           std::string(300, 'c') + R"(" } })",
       [](const LemzRadioState& s) {
         EXPECT_EQ(s.command, WM_SEL_CALL_TRANS);
         EXPECT_EQ(std::string(s.caller_id), std::string(255, 'c'));
         EXPECT_EQ(s.session_addr.s_addr, inet_addr("5.6.7.8"));
       }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    TERM::LemzRadioModifier modifier;
    ASSERT_TRUE(modifier.setFromValueNotation(c.modifier));
    LemzRadioState state;
    LemzRadioControl::DecodeASN(modifier, state);
    c.check(state);
  }
}

TEST(LemzRadioControl, StatusKeepsWhatItDoesNotCarry) {
  LemzRadioState state;
  state.session_ssrc = 77;
  std::strcpy(state.caller_id, "kept");
  state.radio_quality = 0.5f;
  TERM::LemzRadioStatus status;
  ASSERT_TRUE(status.setFromValueNotation(test::kLemzCreateStatus));
  state.command = GW_FLAG_PTT;
  EXPECT_EQ(LemzRadioControl::DecodeASN(status, state), 0);
  EXPECT_EQ(state.command, 0);
  EXPECT_EQ(state.session_ssrc, 77u);
  EXPECT_STREQ(state.caller_id, "kept");
  EXPECT_EQ(state.radio_quality, 0.5f);
  EXPECT_EQ(state.frequency, 118.0f);
}

}  // namespace
