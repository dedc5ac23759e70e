#include "monitoring/FramerDataHolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

struct Fields {
  bool connected;
  std::string status;
  bool signal_loss;
  bool frame_alignment_loss;
  int32_t negative_slips;
  int32_t positive_slips;
};

void ExpectFields(const FramerDataHolder& framer, const Fields& fields) {
  EXPECT_EQ(framer.connected, fields.connected);
  EXPECT_EQ(framer.status, fields.status);
  EXPECT_EQ(framer.signal_loss, fields.signal_loss);
  EXPECT_EQ(framer.frame_alignment_loss, fields.frame_alignment_loss);
  EXPECT_EQ(framer.negative_slips, fields.negative_slips);
  EXPECT_EQ(framer.positive_slips, fields.positive_slips);
}

// Each row reads one text into a fresh holder, then the same text again.
TEST(FramerDataHolder, ReadsStatusFile) {
  const Fields kNew{false, "absent", true, true, 0, 0};
  const struct {
    const char* name;
    std::string text;
    int32_t changed;
    Fields after;
  } kCases[] = {
      {"empty text", "", 0, kNew},
      {"no known prefix", "Framer 0\nLine code : HDB3\n", 0, kNew},
      {"synchronised framer",
       "Framer 0\nCurrent state           : Synchronized\nLoss of Signal          : no\n"
       "Loss of Frame Alignment : no\nReceive Slip Negative   : 12 errors\nReceive Slip Positive   : -3\n",
       1,
       {true, "Synchronized", false, false, 12, -3}},
      {"no carrier, last line without line feed",
       "Current state           : No Carrier",
       1,
       {false, "No Carrier", true, true, 0, 0}},
      {"prefix anywhere in the line", "xx Current state           : AIS\n", 1, {true, "AIS", true, true, 0, 0}},
      {"value keeps its spaces", "Current state           : AIS \r\n", 1, {true, "AIS \r", true, true, 0, 0}},
      {"yes and a space is not yes",
       "Loss of Signal          : yes \nLoss of Frame Alignment : no\n",
       1,
       {false, "absent", false, false, 0, 0}},
      {"yes is yes", "Loss of Signal          : yes\n", 0, kNew},
      {"slip without digits is 0", "Receive Slip Negative   : \nReceive Slip Positive   : none\n", 0, kNew},
      {"slip with white space and a sign", "Receive Slip Positive   :   +7\n", 1, {false, "absent", true, true, 0, 7}},
      {"slips held to 32 bits",
       "Receive Slip Negative   : 99999999999999999999\nReceive Slip Positive   : -4294967297\n",
       1,
       {false, "absent", true, true, 2147483647, -2147483647 - 1}},
      {"text ends at the first zero byte", std::string("Framer") + '\0' + "Current state           : AIS\n", 0, kNew},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FramerDataHolder framer(1, "/proc/driver/hdlc/peb22554/0");
    EXPECT_EQ(framer.setFramerStatus(Bytes(c.text)), c.changed);
    ExpectFields(framer, c.after);
    EXPECT_EQ(framer.setFramerStatus(Bytes(c.text)), 0);
    ExpectFields(framer, c.after);
  }
}

TEST(FramerDataHolder, TakesTrunkStates) {
  // One holder walks the rows in order: repeats report no change, and the
  // file's text and the trunk's replace each other.
  const struct {
    const char* name;
    int state;  // a trunk state, or -1 for the status file row
    int changed;
    const char* status;
    bool connected;
  } kSteps[] = {
      {"lossCarrier", ACP::TrunkState::lossCarrier, 1, "No Carrier", false},
      {"lossCarrier again", ACP::TrunkState::lossCarrier, 0, "No Carrier", false},
      {"normal", ACP::TrunkState::normal, 1, "Synchronized", true},
      {"file says the same", -1, 0, "Synchronized", true},
      {"lossBF", ACP::TrunkState::lossBF, 1, "FAS Loss", true},
      {"file says synchronised again", -1, 1, "Synchronized", true},
      {"ais", ACP::TrunkState::ais, 1, "AIS", true},
      {"rai", ACP::TrunkState::rai, 1, "RAI", true},
      {"disabled", ACP::TrunkState::disabled, 1, "Unknown", true},
      {"unknown", ACP::TrunkState::unknown, 0, "Unknown", true},
      {"outside the enumeration", 7, 0, "Unknown", true},
  };
  FramerDataHolder framer(2, "/proc/driver/hdlc/peb22554/1");
  for (const auto& step : kSteps) {
    SCOPED_TRACE(step.name);
    if (step.state < 0) {
      EXPECT_EQ(framer.setFramerStatus(Bytes("Current state           : Synchronized\n")), step.changed);
    } else {
      EXPECT_EQ(framer.setFramerStatus(static_cast<ACP::TrunkState::NamedNumber>(step.state)), step.changed);
    }
    EXPECT_EQ(framer.status, step.status);
    EXPECT_EQ(framer.connected, step.connected);
    // A trunk state never touches the alarms or the counters.
    EXPECT_TRUE(framer.signal_loss);
    EXPECT_EQ(framer.negative_slips, 0);
  }
}

}  // namespace
