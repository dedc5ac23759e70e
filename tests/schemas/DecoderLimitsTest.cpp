// Controller messages at the limits the decoder puts on what a peer can make it allocate: the largest list and
// the longest text decode, one more is refused; indices outside a CHOICE's root are refused, never looked up.

#include "schemas/LGCP.h"

#include "asn1/CoderEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<LGCP::Message> Command() {
  auto message = std::make_unique<LGCP::Message>();
  message->get_pdu().select_command();
  return message;
}

std::unique_ptr<LGCP::Message> TrapReceivers(size_t count) {
  auto message = Command();
  auto& receivers = message->get_pdu().get_command().select_display().select_snmpTrapReceivers();
  ASN1::IA5String host;
  host = "192.168.0.1";
  for (size_t i = 0; i < count; ++i) {
    receivers.push_back(host);
  }
  return message;
}

std::unique_ptr<LGCP::Message> Number(size_t length) {
  auto message = std::make_unique<LGCP::Message>();
  message->get_pdu().select_signal().select_number() = std::string(length, '7');
  return message;
}

std::unique_ptr<LGCP::Message> UserData(size_t length) {
  auto message = Command();
  message->get_pdu().get_command().select_userData().assign(length, '\x5A');
  return message;
}

bool Decodes(const std::vector<char>& octets, LGCP::Message& message) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  return ASN1::decode(octets.data(), octets.data() + octets.size(), &env, message, true);
}

// Lengths that would need fragments are not even encoded.
enum class Outcome { kRoundTrips, kNotDecoded, kNotEncoded };

TEST(DecoderLimits, LargestListAndTextDecodeOneMoreIsRefused) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<LGCP::Message>()> build;
    Outcome outcome;
  } kCases[] = {
      {"128 trap receivers", [] { return TrapReceivers(128); }, Outcome::kRoundTrips},
      {"129 trap receivers", [] { return TrapReceivers(129); }, Outcome::kNotDecoded},
      {"number of 16383 digits", [] { return Number(16383); }, Outcome::kRoundTrips},
      {"number of 16384 digits", [] { return Number(16384); }, Outcome::kNotEncoded},
      {"user data of 16383 octets", [] { return UserData(16383); }, Outcome::kRoundTrips},
      {"user data of 16384 octets", [] { return UserData(16384); }, Outcome::kNotEncoded},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<LGCP::Message> sent = c.build();
    std::vector<char> octets;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    const bool encoded = ASN1::encode(*sent, &env, std::back_inserter(octets));
    EXPECT_EQ(encoded, c.outcome != Outcome::kNotEncoded);
    if (!encoded) {
      EXPECT_TRUE(octets.empty());
      continue;
    }
    LGCP::Message received;
    EXPECT_EQ(Decodes(octets, received), c.outcome == Outcome::kRoundTrips);
    if (c.outcome == Outcome::kRoundTrips) {
      EXPECT_EQ(received.compare(*sent), 0);
    }
  }
}

TEST(DecoderLimits, IndicesOutsideTheRootAreRefused) {
  const struct {
    const char* name;
    std::vector<char> octets;
  } kCases[] = {
      // [seq 0|slot 0|pdu 00|ext 0|ioctl 1001] [ext 0|index 63 in 6 bits|pad]: 38 root alternatives.
      {"ioctl alternative 63", {0x04, static_cast<char>(0xBF)}},
      // [seq 0|slot 0|pdu 00|ext 0|index 15 in 4 bits|pad]: 15 root alternatives.
      {"command alternative 15", {0x07, static_cast<char>(0x80)}},
      // [seq 0|slot 0|pdu 11|pad]: 3 alternatives in 2 bits.
      {"pdu alternative 3", {0x30}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    LGCP::Message message;
    EXPECT_FALSE(Decodes(c.octets, message));
  }
}

}  // namespace
