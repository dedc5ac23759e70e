// Answers checked against octets worked out by hand from the aligned PER rules
// (X.691) and the LGCP module, so a fault of the project's own coder cannot
// hide itself. Message ::= SEQUENCE { seq INTEGER OPTIONAL, slot INTEGER
// (0..1023) OPTIONAL, pdu PDU }: [seq?|slot?] then, octet-aligned, seq as a
// length octet and two's-complement octets, slot as two octets, then the
// pdu's choice bits: command 00 + [ext] + 4-bit index (ping 1100, destroy
// 0101), response 01 + 1-bit index (success 0, error 1 + [ext] + 4-bit cause).

#include "tests/e2e/GatewayFixture.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace e2e {
namespace {

using AnswersTest = GatewayFixture;

TEST_F(AnswersTest, EchoesSeqAndSlotAsTheCommandCarriedThem) {
  const struct {
    const char* name;
    Bytes command;
    Bytes answer;
  } kCases[] = {
      // [00] [00|0|1100] -> [00] [01|0]
      {"ping without seq or slot", {0x06, 0x00}, {0x10}},
      // [10] seq=5 -> [10] seq=5 [01|0]
      {"ping with seq", {0x80, 0x01, 0x05, 0x18}, {0x80, 0x01, 0x05, 0x40}},
      // [01] slot=3 -> [01] slot=3 [01|0]
      {"ping with slot", {0x40, 0x00, 0x03, 0x18}, {0x40, 0x00, 0x03, 0x40}},
      {"ping with seq and slot", {0xC0, 0x01, 0x05, 0x00, 0x03, 0x18}, {0xC0, 0x01, 0x05, 0x00, 0x03, 0x40}},
      {"seq 128 needs a second octet", {0x80, 0x02, 0x00, 0x80, 0x18}, {0x80, 0x02, 0x00, 0x80, 0x40}},
      {"seq -1", {0x80, 0x01, 0xFF, 0x18}, {0x80, 0x01, 0xFF, 0x40}},
      // The slot field is two aligned octets, so the wire can carry numbers the table has not:
      // [11] seq=8 slot=1024 [00|0|1100] -> [10] seq=8 [01|1|0|0010] invalidSlot, without the slot.
      {"slot 1024", {0xC0, 0x01, 0x08, 0x04, 0x00, 0x18}, {0x80, 0x01, 0x08, 0x62}},
      // destroy of a free slot: [01] slot=3 [00|0|0101] -> [01] slot=3 [01|1|0|0011] slotNotExists
      {"destroy of a free slot", {0x40, 0x00, 0x03, 0x0A}, {0x40, 0x00, 0x03, 0x63}},
      // A response from the controller: [10] seq=7 [01|0] -> [10] seq=7 [01|1|0|0100] unexpectedMsgType
      {"success sent by the controller", {0x80, 0x01, 0x07, 0x40}, {0x80, 0x01, 0x07, 0x64}},
      // A signal with a slot: [11] seq=7 slot=3 [10|0|00101] activated -> no slot in the answer.
      {"signal sent by the controller", {0xC0, 0x01, 0x07, 0x00, 0x03, 0x85}, {0x80, 0x01, 0x07, 0x64}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(controller_.SendPayload(c.command));
    EXPECT_EQ(controller_.ReadPayload(), c.answer);
  }
}

TEST_F(AnswersTest, LogsAndDropsWhatDoesNotDecode) {
  const Bytes kUndecodable[] = {
      {},                  // nothing at all
      {0x80, 0x05, 0x01},  // a seq longer than the payload
      {0x07, 0xC0},        // a command index beyond the root, without its extension
      {0xFF, 0xFF, 0xFF, 0xFF},
  };
  for (const Bytes& payload : kUndecodable) {
    ASSERT_TRUE(controller_.SendPayload(payload));
  }
  ASSERT_TRUE(controller_.Send(Ping(42)));
  ExpectNext(controller_, {42, std::nullopt, "success"});
  EXPECT_TRUE(server_.WaitForOutput("receive fail: decode error!"));
  EXPECT_TRUE(server_.WaitForOutput(" msg: "));
}

TEST_F(AnswersTest, AnswersEachCommandOfOneLongWriteOnceInOrder) {
  constexpr int kRounds = 40;
  std::map<int, std::string> expected;  // seq -> the one answer
  Bytes script;
  auto add = [&](const LGCP::Message& message, const char* answer) {
    const Bytes frame = test_support::TpktFrame(test_support::Encode(message));
    script.insert(script.end(), frame.begin(), frame.end());
    expected[message.get_seq().getValue()] = answer;
  };
  int seq = 1000;
  for (int round = 0; round < kRounds; ++round) {
    const unsigned slot = 100 + round;
    add(Ping(++seq), "success");
    add(CreateTrunk(++seq, slot, 2, round % 32), "success");
    add(Destroy(++seq, slot), "success");
    add(Destroy(++seq, slot), "error slotNotExists");
    LGCP::Message query = Command(++seq, slot);
    query.get_pdu().get_command().select_query();
    add(query, "error unexpectedMsgType");
    LGCP::Message response = Command(++seq, std::nullopt);
    response.get_pdu().select_response().select_success();
    add(response, "error unexpectedMsgType");
    const Bytes junk = test_support::TpktFrame({0xFF, static_cast<uint8_t>(round)});
    script.insert(script.end(), junk.begin(), junk.end());
  }
  add(Ping(++seq), "success");
  ASSERT_TRUE(controller_.SendBytes(script));

  // One answer per command, in the order sent.
  std::vector<std::pair<int, std::string>> answers;
  int signals = 0;
  while (answers.empty() || answers.back().first != seq) {
    LGCP::Message message;
    ASSERT_TRUE(controller_.Read(message));
    if (message.get_pdu().is_signal()) {
      ++signals;
      continue;
    }
    ASSERT_TRUE(message.has_seq()) << Describe(message);
    answers.emplace_back(message.get_seq().getValue(), Describe(message));
  }
  EXPECT_EQ(answers, (std::vector<std::pair<int, std::string>>(expected.begin(), expected.end())));
  // Each create sends its transmitter and receiver signals.
  EXPECT_EQ(signals, 2 * kRounds);
}

}  // namespace
}  // namespace e2e
