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

template <class T>
std::string Print(const T& value) {
  return value.asValueNotation();
}

const NamedField kFields[] = {
    {"timeslot-start",
     [] {
       LGCP::BpcTestParams params;
       params.get_mode().select_read();
       params.set_timeslot_start(17);
       params.set_timeslot_length(3);
       return Print(params);
     },
     "  timeslot-start 17,\n  timeslot-length 3\n"},
    {"dtmf-detector_mark-max-time",
     [] {
       LEMZGW::EMSignalingDigital signaling;
       signaling.set_dtmf_detector_mark_max_time(41);
       signaling.set_dtmf_detector_mark_min_time(40);
       return Print(signaling);
     },
     "  dtmf-detector-mark-min-time 40,\n  dtmf-detector_mark-max-time 41,\n"},
    {"detected_rx beside detected-rx",
     [] {
       LEMZGW::ProtoLemzPacketPayloadDigitalGgsState state;
       state.set_detected_rx(true);
       return Print(state);
     },
     "  detected_rx TRUE,\n  detected_tx FALSE\n"},
    {"vad-rx",
     [] {
       TERM::RadioFlags flags;
       flags.set_vad_rx(true);
       flags.set_li(511);
       return Print(flags);
     },
     "  vad-rx TRUE,\n"},
    {"session-ssrc",
     [] {
       TERM::RadioModifierAddr address;
       address.set_session_addr("10.1.2.3");
       address.set_session_ssrc(4294967295u);
       return Print(address);
     },
     "  session-addr \"10.1.2.3\",\n  session-ssrc 4294967295\n"},
    {"enumerator voice-admit",
     [] {
       TERM::RtpParams params;
       params.includeOptionalField(11, 13);
       params.set_qos_dscp(TERM::IpQoSDSCP::voice_admit);
       return Print(params);
     },
     "  qos-dscp voice-admit\n"},
    {"enumerator not-use",
     [] {
       TERM::RadioCommandWMStandby standby;
       standby.set_state_channel(TERM::RadioStandby::not_use);
       return Print(standby);
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

TEST(GeneratedAccessors, SelectTheAlternativeOfTheirPosition) {
  const struct {
    const char* name;
    std::function<int()> select;
    int index;
  } kAlternatives[] = {
      {"trunk",
       [] {
         LGCP::CreateParams p;
         p.select_trunk();
         return p.currentSelection();
       },
       7},
      {"trunk_bri",
       [] {
         LGCP::CreateParams p;
         p.select_trunk_bri();
         return p.currentSelection();
       },
       8},
      {"spi-tdm",
       [] {
         LGCP::CreateParams p;
         p.select_spi_tdm();
         return p.currentSelection();
       },
       16},
      {"ats-qsig-b",
       [] {
         LGCP::CreateParams p;
         p.select_ats_qsig_b();
         return p.currentSelection();
       },
       18},
      {"usb-tdm",
       [] {
         LGCP::CreateParams p;
         p.select_usb_tdm();
         return p.currentSelection();
       },
       19},
      {"dtmf-reject-disable",
       [] {
         LGCP::IoctlParams p;
         p.select_dtmf_reject_disable();
         return p.currentSelection();
       },
       22},
      {"selcal",
       [] {
         LGCP::IoctlParams p;
         p.select_selcal();
         return p.currentSelection();
       },
       37},
      {"gw-set-resv",
       [] {
         TERM::LemzRadioModifierParams p;
         p.select_gw_set_resv();
         return p.currentSelection();
       },
       7},
      {"wm-standby",
       [] {
         TERM::LemzRadioModifierParams p;
         p.select_wm_standby();
         return p.currentSelection();
       },
       19},
      {"ali-server-p1",
       [] {
         LEMZGW::ProtoLemzPacketPayload p;
         p.select_ali_server_p1();
         return p.currentSelection();
       },
       65},
  };
  for (const auto& alternative : kAlternatives) {
    SCOPED_TRACE(alternative.name);
    EXPECT_EQ(alternative.select(), alternative.index);
  }
}

TEST(GeneratedAccessors, EnumeratorsCarryTheirValues) {
  const struct {
    const char* name;
    int enumerator;
    int value;
  } kEnumerators[] = {
      {"not-use", TERM::RadioStandby::not_use, -1},
      {"voice-admit", TERM::IpQoSDSCP::voice_admit, 44},
      {"count", TERM::IpQoSDSCP::count, 23},
      {"persent_100", TERM::RadioSquelshe::persent_100, 103},
      {"radio-no-permissions", TERM::ED137CauseCode::radio_no_permissions, 2099},
      {"ptT38-TCP-TPKT", TERM::Payload::ptT38_TCP_TPKT, 12},
      {"fake", LEMZGW::ProtoLemzAnalogGainIDV1::fake, 255},
      {"max", LEMZGW::ProtoLemzAnalogGainIDV2::max, 12},
      {"p1-cln-load-commit-force", LEMZGW::ProtoLemzPacketP1ClientCommand::p1_cln_load_commit_force, 4103},
      {"ali-server-p1", LEMZGW::ProtoLemzMsgID::ali_server_p1, 13056},
      {"destroyInProgress", LGCP::ErrorCause::destroyInProgress, 12},
  };
  for (const auto& e : kEnumerators) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.enumerator, e.value);
  }
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
