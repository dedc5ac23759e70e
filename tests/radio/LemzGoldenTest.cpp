// Every LEMZ command through the whole chain, both ways: wire bytes, record, state, the controller's request and
// its PER bytes, from the rows of data/lemz-golden.txt.

#include "tests/support/LemzGolden.h"

#include "asn1/CoderEnv.h"
#include "radio/LemzRadioControl.h"
#include "radio/sig_proto.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <algorithm>
#include <iterator>

namespace {

using RTPSignalling::LemzRadioControl;
using RTPSignalling::LemzRadioState;

std::string DumpText(const sig_proto& packet) {
  char text[8192];
  const int length = sprintf_sig_proto(text, sizeof text, &packet, kSigProtoDumpTypeName);
  std::string compact(text, static_cast<size_t>(length));
  compact.erase(std::remove_if(compact.begin(), compact.end(), [](char c) { return c == ' ' || c == '\n'; }),
                compact.end());
  return compact;
}

std::vector<uint8_t> EncodePer(const ASN1::AbstractData& value) {
  ASN1::CoderEnv env;
  std::vector<char> out;
  EXPECT_TRUE(ASN1::encode(value, &env, std::back_inserter(out)));
  return std::vector<uint8_t>(out.begin(), out.end());
}

TEST(LemzGolden, EveryCommandBothWays) {
  TERM::LemzRadioStatus create;
  ASSERT_TRUE(create.setFromValueNotation(test::kLemzCreateStatus));
  LemzRadioState radio;
  EXPECT_EQ(LemzRadioControl::DecodeASN(create, radio), 0);

  const auto rows = test::ReadLemzGolden(LEMZ_GOLDEN_PATH);
  ASSERT_EQ(rows.size(), 20u);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sig_proto packet{};
    ASSERT_EQ(sig_proto_unpack(&packet, row.wire.data(), row.wire.size()), 0);
    EXPECT_EQ(DumpText(packet), row.record);
    uint8_t packed[1024];
    const int length = sig_proto_pack(&packet, packed, sizeof packed);
    EXPECT_EQ(std::vector<uint8_t>(packed, packed + std::max(length, 0)), row.wire);
    EXPECT_EQ(LemzRadioControl::FindUnreportableField(packet), nullptr);

    inet_aton("10.9.8.7", &packet.source_addr);
    packet.source_ssrc = 85;
    LemzRadioState state;
    EXPECT_EQ(LemzRadioControl::DecodeProto(packet, state), 0);
    EXPECT_EQ(test::StateText(state), row.state);

    TERM::RtpRadioRequest request;
    LemzRadioControl::EncodeASN(radio, state, request);
    TERM::RtpRadioRequest expected;
    ASSERT_TRUE(expected.setFromValueNotation(row.request)) << request.asValueNotation();
    EXPECT_EQ(request.compare(expected), 0) << request.asValueNotation();
    EXPECT_EQ(EncodePer(request), row.per);
    TERM::RtpRadioRequest decoded;
    ASN1::CoderEnv env;
    const char* per = reinterpret_cast<const char*>(row.per.data());
    ASSERT_TRUE(ASN1::decode(per, per + row.per.size(), &env, decoded, true));
    EXPECT_EQ(decoded.compare(expected), 0);

    // The modifier carries the command back, and every field it carries comes back unchanged.
    LemzRadioState back = state;
    LemzRadioControl::DecodeASN(request.get_request().get_lemz(), back);
    EXPECT_EQ(test::StateText(back), row.state);
  }
}

}  // namespace
