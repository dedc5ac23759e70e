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

// The alternative's index once the accessor has selected it.
template <class Choice, class Select>
int IndexAfter(Select select) {
  Choice choice;
  select(choice);
  return choice.currentSelection();
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

}  // namespace
