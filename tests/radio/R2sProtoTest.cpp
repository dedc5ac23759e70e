#include "radio/R2sProto.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pack(const r2s_proto& proto, size_t size = 64) {
  Bytes buffer(size);
  const int length = r2s_proto_pack(&proto, buffer.data(), buffer.size());
  if (length < 0) {
    return Bytes{static_cast<uint8_t>(-length)};
  }
  buffer.resize(static_cast<size_t>(length));
  return buffer;
}

r2s_proto Rx(uint32_t ptt, uint32_t squ, uint32_t ptt_id) {
  r2s_proto proto;
  r2s_proto_init(&proto, 0);
  r2s_proto_set_rx_header(&proto, ptt, squ, ptt_id, 0, 0, 0);
  return proto;
}

TEST(R2sProtoTest, PacksAsOnTheWire) {
  r2s_proto plain = Rx(1, 1, 5);
  r2s_proto sqi = plain;
  r2s_proto_add_rx_sqi(&sqi, 3, 2);
  r2s_proto wide = Rx(9, 3, 0x7f);  // cut to 3, 1 and 6 bits
  r2s_proto tx;
  r2s_proto_init(&tx, 0);
  r2s_proto_set_tx_header(&tx, 2, 63, 1, 1);
  r2s_proto tx_features = tx;
  r2s_proto_add_rx_sqi(&tx_features, 1, 1);  // not carried by TX: skipped
  const r2s_proto_tx_additional_rrm rrm{{1, 0x7abcde}};
  r2s_proto_add_tx_rrm(&tx_features, &rrm);
  r2s_proto long_rrc = Rx(0, 0, 0);
  const r2s_proto_rx_additional_rrc rrc{{1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0xaa, 0x55}};
  r2s_proto_add_rx_rrc(&long_rrc, &rrc);
  r2s_proto bad_rrc = Rx(0, 0, 0);
  const r2s_proto_rx_additional_rrc bad{{0, 0, 0, 0, 0, 0, 0, 0, 2}};
  r2s_proto_add_rx_rrc(&bad_rrc, &bad);
  r2s_proto unknown = plain;
  unknown.type = 7;
  const struct {
    const char* name;
    r2s_proto proto;
    size_t size;
    Bytes expected;
  } cases[] = {
      {"rx plain", plain, 64, {0x31, 0x40, 0, 0}},
      {"rx sqi", sqi, 64, {0x31, 0x41, 0x11, 0x1a}},
      {"width masked", wide, 64, {0x3f, 0xc0, 0, 0}},
      {"tx", tx, 64, {0x4f, 0xf0, 0, 0}},
      {"tx features", tx_features, 64, {0x4f, 0xf1, 0x43, 0xfa, 0xbc, 0xde}},
      {"rx long rrc", long_rrc, 64, {0x00, 0x01, 0x34, 0x81, 0x80, 0xaa, 0x55}},
      {"bad rrc form", bad_rrc, 64, {8}},
      {"unknown type", unknown, 64, {8}},
      {"no room for padding", plain, 3, {9}},
      {"no room for header", plain, 1, {9}},
      {"no room for sqi", sqi, 3, {9}},
      {"rrc reserves its long form", long_rrc, 6, {9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Pack(c.proto, c.size), c.expected);
  }
}

TEST(R2sProtoTest, UnpacksFeaturesAndRefusesTruncation) {
  const struct {
    const char* name;
    bool rx;
    Bytes bytes;
    int result;
    uint32_t features;
  } cases[] = {
      {"x without features", false, {0x20, 0x01}, 0, 0},
      {"body past the end", false, {0x20, 0x01, 0x43, 0x00}, kR2sTruncated, 0},
      {"unknown between known", true, {0x31, 0x41, 0x11, 0x1a, 0x52, 0xff, 0xff, 0x31, 0x80}, 0, 2},
      {"stored before error", true, {0x31, 0x41, 0x11, 0x1a, 0x4c, 0x00}, kR2sTruncated, 1},
      {"one byte", true, {0x31}, kR2sTruncated, 0},
      {"tx ignores rx sqi", false, {0x20, 0x01, 0x11, 0x1a, 0x21, 0x07}, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    r2s_proto proto;
    r2s_proto_init(&proto, 0);
    const int result = c.rx ? r2s_proto_unpack_rx(&proto, c.bytes.data(), c.bytes.size())
                            : r2s_proto_unpack_tx(&proto, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(proto.feature_count, c.features);
  }
  EXPECT_EQ(r2s_proto_unpack_tx(nullptr, nullptr, 0), kR2sMissing);
}

TEST(R2sProtoTest, RoundTripsEveryFeatureAndStopsAtSixteen) {
  r2s_proto rx = Rx(4, 1, 42);
  const r2s_proto_rx_additional_mam mam{{1, 0x123456, 0, 0x7fffff, 0xbeef, 1, 0xffff}};
  r2s_proto_add_rx_mam(&rx, &mam);
  const r2s_proto_rx_additional_rrc rrc{{0, 1, 0, 1, 0, 1, 0, 1, 0}};
  r2s_proto_add_rx_rrc(&rx, &rrc);
  for (int i = 0; i < 15; ++i) {
    r2s_proto_add_rx_sqi(&rx, static_cast<uint32_t>(i), 5);
  }
  EXPECT_EQ(rx.feature_count, kR2sMaxFeatures);
  EXPECT_EQ(rx.features[15].word[0], 13u);  // the 17th add changed nothing
  const Bytes packed = Pack(rx, 1024);
  r2s_proto back;
  r2s_proto_init(&back, 0);
  ASSERT_EQ(r2s_proto_unpack_rx(&back, packed.data(), packed.size()), 0);
  EXPECT_EQ(Pack(back, 1024), packed);
  EXPECT_EQ(back.features[0].word[3], 0x7fffffu);
  EXPECT_EQ(back.features[0].word[4], 0xbeefu);

  r2s_proto a = Rx(1, 0, 0);
  r2s_proto b = Rx(2, 1, 7);
  EXPECT_EQ(cmp_r2s_proto_source(&a, &b), 0);
  b.source_ssrc = 5;
  EXPECT_EQ(cmp_r2s_proto_source(&a, &b), 5);
  EXPECT_EQ(cmp_r2s_proto_source(&a, nullptr), -1);
}

}  // namespace
