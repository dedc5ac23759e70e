// Names with hyphens and underscores: the accessors replace "-" by "_", while the descriptors, and so the value
// notation of traces, keep the names as the modules spell them; each accessor reaches its own field.

#include "schemas/LEMZGW.h"
#include "schemas/LGCP.h"
#include "schemas/TERM.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct NamedField {
  const char* spelled;                 // as the module spells it
  std::function<std::string()> print;  // sets the field through its accessor and prints the value
  const char* printed;                 // the line the field must print as
};

const NamedField kFields[] = {
    {"timeslot-start",
     [] {
       LGCP::BpcTestParams params;
       params.get_mode().select_read();
       params.set_timeslot_start(17);
       params.set_timeslot_length(3);
       return params.asValueNotation();
     },
     "  timeslot-start 17,\n  timeslot-length 3\n"},
    {"dtmf-detector_mark-max-time",
     [] {
       LEMZGW::EMSignalingDigital signaling;
       signaling.set_dtmf_detector_mark_max_time(41);
       signaling.set_dtmf_detector_mark_min_time(40);
       return signaling.asValueNotation();
     },
     "  dtmf-detector-mark-min-time 40,\n  dtmf-detector_mark-max-time 41,\n"},
    {"detected_rx beside detected-rx",
     [] {
       LEMZGW::ProtoLemzPacketPayloadDigitalGgsState state;
       state.set_detected_rx(true);
       return state.asValueNotation();
     },
     "  detected_rx TRUE,\n  detected_tx FALSE\n"},
    {"vad-rx",
     [] {
       TERM::RadioFlags flags;
       flags.set_vad_rx(true);
       flags.set_li(511);
       return flags.asValueNotation();
     },
     "  vad-rx TRUE,\n"},
    {"session-ssrc",
     [] {
       TERM::RadioModifierAddr address;
       address.set_session_addr("10.1.2.3");
       address.set_session_ssrc(4294967295u);
       return address.asValueNotation();
     },
     "  session-addr \"10.1.2.3\",\n  session-ssrc 4294967295\n"},
    {"enumerator voice-admit",
     [] {
       TERM::RtpParams params;
       params.include_qos_dscp().setValue(TERM::IpQoSDSCP::voice_admit);
       return params.asValueNotation();
     },
     "  qos-dscp voice-admit\n"},
    {"state-channel holding not-use, a name below 0",
     [] {
       TERM::RadioCommandWMStandby standby;
       standby.set_state_channel(TERM::RadioStandby::not_use);
       return standby.asValueNotation();
     },
     "  state-channel not-use,\n"},
};

TEST(GeneratedAccessors, ReachTheFieldTheModuleNames) {
  for (const NamedField& field : kFields) {
    SCOPED_TRACE(field.spelled);
    const std::string text = field.print();
    EXPECT_NE(text.find(field.printed), std::string::npos) << text;
  }
}

// The alternative's index once the accessor has selected it.
template <class Choice, class Select>
int IndexAfter(Select select) {
  Choice choice;
  select(choice);
  return choice.currentSelection();
}

// Each selector picks the alternative of its position, each enumerator carries the module's value.
TEST(GeneratedAccessors, NamesCarryTheirNumbers) {
  const struct {
    const char* name;
    int number;
    int expected;
  } kCases[] = {
      {"trunk", IndexAfter<LGCP::CreateParams>([](auto& p) { p.select_trunk(); }), 7},
      {"trunk_bri", IndexAfter<LGCP::CreateParams>([](auto& p) { p.select_trunk_bri(); }), 8},
      {"spi-tdm", IndexAfter<LGCP::CreateParams>([](auto& p) { p.select_spi_tdm(); }), 16},
      {"ats-qsig-b", IndexAfter<LGCP::CreateParams>([](auto& p) { p.select_ats_qsig_b(); }), 18},
      {"usb-tdm", IndexAfter<LGCP::CreateParams>([](auto& p) { p.select_usb_tdm(); }), 19},
      {"dtmf-reject-disable", IndexAfter<LGCP::IoctlParams>([](auto& p) { p.select_dtmf_reject_disable(); }), 22},
      {"selcal", IndexAfter<LGCP::IoctlParams>([](auto& p) { p.select_selcal(); }), 37},
      {"gw-set-resv", IndexAfter<TERM::LemzRadioModifierParams>([](auto& p) { p.select_gw_set_resv(); }), 7},
      {"wm-standby", IndexAfter<TERM::LemzRadioModifierParams>([](auto& p) { p.select_wm_standby(); }), 19},
      {"ali-server-p1", IndexAfter<LEMZGW::ProtoLemzPacketPayload>([](auto& p) { p.select_ali_server_p1(); }), 65},
      {"not-use", TERM::RadioStandby::not_use, -1},
      {"voice-admit", TERM::IpQoSDSCP::voice_admit, 44},
      {"count", TERM::IpQoSDSCP::count, 23},
      {"persent_100", TERM::RadioSquelshe::persent_100, 103},
      {"radio-no-permissions", TERM::ED137CauseCode::radio_no_permissions, 2099},
      {"ptT38-TCP-TPKT", TERM::Payload::ptT38_TCP_TPKT, 12},
      {"fake", LEMZGW::ProtoLemzAnalogGainIDV1::fake, 255},
      {"max", LEMZGW::ProtoLemzAnalogGainIDV2::max, 12},
      {"p1-cln-load-commit-force", LEMZGW::ProtoLemzPacketP1ClientCommand::p1_cln_load_commit_force, 4103},
      {"message id ali-server-p1", LEMZGW::ProtoLemzMsgID::ali_server_p1, 13056},
      {"destroyInProgress", LGCP::ErrorCause::destroyInProgress, 12},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.number, c.expected);
  }
}

// is_ follows the selection, extensions included; has_ follows include_ and omit_, and an omitted field keeps its
// value for the next include_.
TEST(GeneratedAccessors, PresenceTestsFollowSelectionAndInclusion) {
  LGCP::TonecCode code;
  EXPECT_FALSE(code.is_dtmf() || code.is_dtmfDone());
  code.select_dtmfDone();
  EXPECT_TRUE(code.is_dtmfDone());
  EXPECT_FALSE(code.is_dtmf());
  EXPECT_EQ(code.alternative(), LGCP::TonecCode::Alternative::dtmfDone);

  LGCP::Message message;
  message.include_seq().setValue(9);
  EXPECT_TRUE(message.has_seq());
  EXPECT_FALSE(message.has_slot());
  message.omit_seq();
  EXPECT_FALSE(message.has_seq());
  EXPECT_EQ(message.include_seq().getValue(), 9);
}

TEST(GeneratedAccessors, SettersWriteIntoTheExistingFieldObjects) {
  TERM::LemzRadioStatus status;
  const ASN1::AbstractData* flags = &status.get_flags();
  TERM::RadioFlags replacement;
  replacement.set_prio(-3);
  replacement.set_selcall(3);
  status.set_flags(replacement);
  EXPECT_EQ(&status.get_flags(), flags);
  EXPECT_EQ(status.get_flags().get_prio().getValue(), -3);
  EXPECT_EQ(status.get_flags().get_selcall().getValue(), 3u);
  EXPECT_EQ(status.get_flags().compare(replacement), 0);
}

}  // namespace
