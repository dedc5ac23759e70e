#include "platform/sim/ControlArgs.h"

#include "platform/Device.h"
#include "tests/platform/SimTestDriver.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <sstream>
#include <string>
#include <vector>

namespace sim {
namespace {

using ControlArgsTest = SimBoardTest;

// The reply line the control socket would send for the command line.
std::string Answer(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) {
    words.push_back(word);
  }
  const Reply reply = Board::instance().Control(words);
  const std::string status = reply.ok ? "ok" : "error";
  return reply.text.empty() ? status : status + " " + reply.text;
}

// Every refusal of a board command says what is wrong: the first argument that
// is out of range or malformed, the session or channel that is not there. Rows
// run in order on one board with one /dev/rtp_ext session open; the cable rows
// build on each other.
TEST_F(ControlArgsTest, EveryRefusalSaysWhatIsWrong) {
  const int ext = platform::Open("/dev/rtp_ext", O_RDWR);
  ASSERT_GE(ext, 0);
  const struct {
    const char* line;
    const char* reply;
  } kCases[] = {
      {"board list now", "error usage: board list"},
      {"/dev/dsp absent maybe", "error bad setting maybe: not on|off"},
      {"/dev/dsp absent", "error usage: absent on|off"},
      {"/dev/dsp hangup now", "error usage: hangup"},
      {"/dev/dsp opens 3", "error usage: opens"},
      {"/dev/mcc/ctl cable 99999 3", "error bad line 99999: out of range 0-10239"},
      {"/dev/mcc/ctl cable 4294967299 5", "error bad line 4294967299: out of range 0-10239"},
      {"/dev/mcc/ctl cable 512 3", "error bad line 512: an MCC channel, not a line"},
      {"/dev/mcc/ctl cable 3 3", "error both ends are line 3"},
      {"/dev/mcc/ctl cable 3 4", "ok"},
      {"/dev/mcc/ctl cable 5 4", "error line 4 already has a cable"},
      {"/dev/mcc/ctl bus 3 5", "error line 3 already has a cable"},
      {"/dev/mcc/ctl impair 6 0 0 cut", "error line 6 has no cable"},
      {"/dev/mcc/ctl impair 3 x 0 cut", "error bad drop every x: not a number"},
      {"/dev/mcc/ctl impair 3 0 0 sideways", "error bad mode sideways: not through|cut"},
      {"/dev/mcc/ctl tap 1 /etc/passwd mtp2",
       "error bad file name /etc/passwd: a name without / (the capture goes in the board root)"},
      {"/dev/mcc/ctl tap 1 .. mtp2", "error bad file name ..: a name without / (the capture goes in the board root)"},
      {"/dev/mcc/ctl tap 1 cap.pcap q931", "error bad kind q931: not mtp2|lapd-user|lapd-network"},
      {"/dev/mcc/ctl untap 1", "error no tap on 1"},
      {"/dev/mcc/ctl rx 99 ab", "error bad channel 99: out of range 512-543"},
      {"/dev/mcc/ctl rx 99 zz", "error bad channel 99: out of range 512-543"},
      {"/dev/mcc/ctl rx 513 abc", "error bad bytes abc: not whole pairs of hex digits"},
      {"/dev/mcc/ctl rx 513 ab", "error channel 513 is not allocated"},
      {"/dev/mcc/ctl tx 513", "error channel 513 is not allocated"},
      {"/dev/mcc/ctl block 513 maybe", "error bad setting maybe: not on|off"},
      {"/dev/mcc/ctl line-rx 512 6f", "error bad line 512: an MCC channel, not a line"},
      {"/dev/rtp event 2048 1 2 3", "error no session on channel 2048"},
      {"/dev/rtp event 2048 1 2 4294967296", "error bad timeout 4294967296: out of range 0-4294967295"},
      {"/dev/rtp session-hangup abc", "error bad channel abc: not a number"},
      {"/dev/rtp sessions now", "error usage: sessions"},
      {"/dev/rtp_ext inject 1 9 10.0.0.7 0102", "error no session 1"},
      {"/dev/rtp_ext inject 0 9 10.0.0.7 0102", "ok 1"},
      {"/dev/rtp_ext inject 0 9 10.0.0 0102", "error bad address 10.0.0: not a dotted quad"},
      {"/dev/rtp_ext inject 0 9 10.0.0.7 0102 0", "error bad count 0: out of range 1-1000000"},
      {"/dev/rtp_ext init 1", "error no session 1"},
      {"/dev/rtp_ext scope some", "error bad scope some: not media|all"},
      {"/dev/dsp timeslot 99999", "error bad timeslot 99999: out of range 0-10239"},
      {"/dev/dsp report 1 4294967297 0", "error bad type 4294967297: out of range 0-4294967295"},
      {"/dev/dtmf detect 1 x", "error bad code x: not a number"},
      {"/dev/dtmf short 16", "error bad size 16: out of range 1-15"},
      {"/dev/dsp-data cable 576 576", "error both ends are channel 576"},
      {"/dev/dsp-data rx 577 01", "error channel 577 is not open"},
      {"/dev/dsp-data tx 4294967872", "error bad channel 4294967872: out of range 576-583"},
      {"/dev/hal output 99999", "error bad channel 99999: out of range 0-10239"},
      {"/dev/hal carrier 8 on", "error bad channel 8: out of range 0-7"},
      {"/dev/hal dip 256", "error bad byte 256: out of range 0-255"},
      {"/dev/e1-cas rx 0 32 1", "error bad timeslot 32: out of range 0-31"},
      {"/dev/maintenance framer 4 0 0 0 0 0 0", "error bad trunk 4: out of range 0-3"},
      {"/dev/mixer remove-unit 7", "error bad unit 7: no such unit"},
      {"/dev/mixer summators 7", "error bad unit 7: no such unit"},
      {"netif set 16 eth9 1", "error bad index 16: out of range 0-15"},
      {"/dev/voice channels 1 -1", "error bad count -1: not a number"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Answer(c.line), c.reply);
  }
  platform::Close(ext);
}

}  // namespace
}  // namespace sim
