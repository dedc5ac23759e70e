// Exact octets of messages whose layout is worked out bit by bit from the aligned PER rules and the modules:
// the generated descriptors must put every field, index and range exactly there.

#include "schemas/LEMZGW.h"
#include "schemas/LGCP.h"
#include "schemas/MON.h"
#include "schemas/TERM.h"

#include "asn1/CoderEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using Builder = std::function<std::unique_ptr<ASN1::AbstractData>()>;

std::vector<char> Octets(std::initializer_list<int> values) {
  std::vector<char> octets;
  for (int value : values) {
    octets.push_back(static_cast<char>(value));
  }
  return octets;
}

std::unique_ptr<LGCP::Message> Command(int seq) {
  auto message = std::make_unique<LGCP::Message>();
  message->include_seq().setValue(seq);
  message->get_pdu().select_command();
  return message;
}

std::unique_ptr<LGCP::Message> Ping(int seq) {
  auto message = Command(seq);
  message->get_pdu().get_command().select_ping();
  return message;
}

std::unique_ptr<LGCP::Message> Signal(unsigned slot) {
  auto message = std::make_unique<LGCP::Message>();
  message->include_slot() = slot;
  message->get_pdu().select_signal();
  return message;
}

std::unique_ptr<LGCP::Message> Tonec(LGCP::TonecCode::Alternative alternative) {
  auto message = Signal(3);
  LGCP::TonecEvent& event = message->get_pdu().get_signal().select_tonec();
  event.set_timestamp(7);
  EXPECT_TRUE(event.get_event().select(alternative));
  if (event.get_event().is_dtmf()) {
    event.get_event().get_dtmf() = 5;
  }
  return message;
}

std::unique_ptr<ASN1::AbstractData> Answer(bool success) {
  auto message = std::make_unique<LGCP::Message>();
  message->include_seq().setValue(1);
  LGCP::Response& response = message->get_pdu().select_response();
  if (success) {
    response.select_success();
  } else {
    response.select_error().setValue(LGCP::ErrorCause::destroyInProgress);
  }
  return message;
}

std::unique_ptr<ASN1::AbstractData> SlotCommand(LGCP::Command::Alternative alternative) {
  auto message = Command(1);
  message->include_slot() = 5;
  LGCP::Command& command = message->get_pdu().get_command();
  EXPECT_TRUE(command.select(alternative));
  if (command.is_connect()) {
    command.get_connect() = 7;
  }
  return message;
}

std::unique_ptr<ASN1::AbstractData> RadioAddress(unsigned ssrc) {
  auto address = std::make_unique<TERM::RadioModifierAddr>();
  address->set_session_addr("ab");
  address->set_session_ssrc(ssrc);
  return address;
}

template <class Enumeration>
std::unique_ptr<ASN1::AbstractData> Enumerated(int value) {
  auto enumerated = std::make_unique<Enumeration>();
  enumerated->setValue(value);
  return enumerated;
}

std::unique_ptr<ASN1::AbstractData> DnameOfLength(size_t length) {
  auto params = std::make_unique<TERM::RtpParams>();
  params->get_dhost().set_iaddr("10.0.0.1");
  params->include_dname() = std::string(length, 'd');
  return params;
}

std::unique_ptr<ASN1::AbstractData> PayloadList() {
  auto list = std::make_unique<ASN1::SEQUENCE_OF<TERM::Payload>>();
  TERM::Payload payload;
  for (const auto value : {TERM::Payload::ptG729, TERM::Payload::ptR2S}) {
    payload.setValue(value);
    list->push_back(payload);
  }
  return list;
}

std::unique_ptr<ASN1::AbstractData> RequestModeVariantList() {
  auto list = std::make_unique<ASN1::SEQUENCE_OF<TERM::RequestModeVariant>>();
  list->push_back(TERM::RequestModeVariant());
  list->push_back(TERM::RequestModeVariant());
  return list;
}

std::unique_ptr<ASN1::AbstractData> MonPing() {
  auto message = std::make_unique<MON::Message>();
  message->get_pdu().select_command().select_ping();
  return message;
}

struct WireCase {
  const char* name;
  Builder build;
  std::vector<char> octets;
};

const WireCase kCases[] = {
    // [seq present|slot absent|pad] [len] [seq] [pdu 00|ext 0|ping 1100|pad 0]
    {"ping", [] { return Ping(1); }, Octets({0x80, 0x01, 0x01, 0x18})},
    {"seq -1", [] { return Ping(-1); }, Octets({0x80, 0x01, 0xFF, 0x18})},
    {"seq -129", [] { return Ping(-129); }, Octets({0x80, 0x02, 0xFF, 0x7F, 0x18})},
    {"seq 128", [] { return Ping(128); }, Octets({0x80, 0x02, 0x00, 0x80, 0x18})},
    // [pdu 01|success index 0|pad]
    {"success", [] { return Answer(true); }, Octets({0x80, 0x01, 0x01, 0x40})},
    // [pdu 01|error 1|ext 0|12 in 4 bits]
    {"error destroyInProgress", [] { return Answer(false); }, Octets({0x80, 0x01, 0x01, 0x6C})},
    // [seq|slot|pad] [len] [seq] [slot in 16 aligned bits] [pdu 00|ext 0|destroy 0101|pad]
    {"destroy", [] { return SlotCommand(LGCP::Command::Alternative::destroy); },
     Octets({0xC0, 0x01, 0x01, 0x00, 0x05, 0x0A})},
    // ... [pdu 00|ext 0|connect 0010|pad] [listener in 16 aligned bits]
    {"connect", [] { return SlotCommand(LGCP::Command::Alternative::connect); },
     Octets({0xC0, 0x01, 0x01, 0x00, 0x05, 0x04, 0x00, 0x07})},
    // [0|slot 1|pad] [slot] [pdu 10|ext 0|tonec 00001] [len] [7] [ext 0|dtmf 000|5 in 7 bits|pad]
    {"tonec dtmf", [] { return Tonec(LGCP::TonecCode::Alternative::dtmf); },
     Octets({0x40, 0x00, 0x03, 0x81, 0x01, 0x07, 0x00, 0xA0})},
    // ... [ext 1|extension 0 in 7 bits] [open type length 1] [NULL as one zero octet]
    {"tonec dtmfDone", [] { return Tonec(LGCP::TonecCode::Alternative::dtmfDone); },
     Octets({0x40, 0x00, 0x03, 0x81, 0x01, 0x07, 0x80, 0x01, 0x00})},
    // [len 2] "ab" [octet count 0 in 2 bits|pad] [0]
    {"ssrc 0", [] { return RadioAddress(0); }, Octets({0x02, 0x61, 0x62, 0x00, 0x00})},
    // ... [octet count 3 in 2 bits|pad] [four octets]
    {"ssrc 4294967295", [] { return RadioAddress(0xFFFFFFFFu); },
     Octets({0x02, 0x61, 0x62, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF})},
    // Enumerations go by value: cs7 = 56 in 0..56 (6 bits), count = 23.
    {"qos cs7", [] { return Enumerated<TERM::IpQoSDSCP>(TERM::IpQoSDSCP::cs7); }, Octets({0xE0})},
    {"qos count", [] { return Enumerated<TERM::IpQoSDSCP>(TERM::IpQoSDSCP::count); }, Octets({0x5C})},
    // [ext 0|pad] and 4097 in 16 aligned bits, the range 0..13056 being above 256.
    {"lemz gw-get-id", [] { return Enumerated<LEMZGW::ProtoLemzMsgID>(LEMZGW::ProtoLemzMsgID::gw_get_id); },
     Octets({0x00, 0x10, 0x01})},
    // [count 2] [ptG729 = 3 in 4 bits|ptR2S = 14 in 4 bits], Payload running 0..14.
    {"payload list", PayloadList, Octets({0x02, 0x3E})},
    // [count 2] [ext 0|ext 0|pad]: each variant's stand-in body holds only its extension bit.
    {"request mode variant list", RequestModeVariantList, Octets({0x02, 0x00})},
    // [pdu 00|ext 0|ping 11|pad]
    {"agent ping", MonPing, Octets({0x18})},
};

ASN1::CoderEnv Env() {
  return ASN1::CoderEnv(ASN1::CoderEnv::per_Aligned);
}

// Each value encodes to its octets, the octets decode to the same value, and every proper prefix is refused.
TEST(WireForm, WorkedOutOctetsBothWays) {
  for (const WireCase& c : kCases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ASN1::AbstractData> value = c.build();
    std::vector<char> octets;
    ASN1::CoderEnv env = Env();
    ASSERT_TRUE(ASN1::encode(*value, &env, std::back_inserter(octets)));
    EXPECT_EQ(octets, c.octets);
    for (size_t length = 0; length <= c.octets.size(); ++length) {
      SCOPED_TRACE(length);
      // A copy of its own, so that reading past the prefix is an over-read.
      const std::vector<char> prefix(c.octets.begin(), c.octets.begin() + static_cast<std::ptrdiff_t>(length));
      std::unique_ptr<ASN1::AbstractData> decoded(value->typeInfo()->create(value->typeInfo()));
      const bool whole = length == c.octets.size();
      ASN1::CoderEnv decode_env = Env();
      ASSERT_EQ(ASN1::decode(prefix.data(), prefix.data() + length, &decode_env, *decoded, true), whole);
      if (whole) {
        EXPECT_EQ(decoded->compare(*value), 0) << decoded->asValueNotation();
      }
    }
  }
}

TEST(WireForm, ValuesWithoutWireFormAreRefused) {
  const struct {
    const char* name;
    Builder build;
  } kRefused[] = {
      {"RadioStandby not-use (-1)",
       [] {
         auto command = std::make_unique<TERM::RadioCommandGWSetStandby>();
         command->set_state(TERM::RadioStandby::not_use);
         return std::unique_ptr<ASN1::AbstractData>(std::move(command));
       }},
      {"empty dname", [] { return DnameOfLength(0); }},
      {"dname of 65 characters", [] { return DnameOfLength(65); }},
      {"connect to slot 1024",
       [] {
         auto message = Command(1);
         message->get_pdu().get_command().select_connect() = 1024;
         return std::unique_ptr<ASN1::AbstractData>(std::move(message));
       }},
      {"command without alternative", [] { return std::unique_ptr<ASN1::AbstractData>(Command(1)); }},
  };
  for (const auto& c : kRefused) {
    SCOPED_TRACE(c.name);
    std::vector<char> octets;
    ASN1::CoderEnv env = Env();
    EXPECT_FALSE(ASN1::encode(*c.build(), &env, std::back_inserter(octets)));
    EXPECT_TRUE(octets.empty());
  }
}

}  // namespace
