#include "radio/R2sProto.h"

#include <cstring>

namespace {

constexpr size_t kHeaderSize = 2;
constexpr uint8_t kExtensionBit = 0x01;

// Bytes a feature reserves in the buffer, type byte included. The RX RRC always
// reserves its long form.
constexpr size_t kSqiSize = 2;
constexpr size_t kClimaxSize = 2;
constexpr size_t kTxRrcSize = 2;
constexpr size_t kRrmSize = 4;
constexpr size_t kMamSize = 13;
constexpr size_t kRxRrcSize = 5;

constexpr uint32_t Bits(uint32_t value, unsigned width) {
  return value & ((1u << width) - 1);
}

int AddFeature(r2s_proto* proto, uint32_t type, const uint32_t* words, size_t count) {
  if (proto == nullptr || words == nullptr || proto->feature_count >= kR2sMaxFeatures) {
    return 0;
  }
  r2s_proto_feature& feature = proto->features[proto->feature_count++];
  feature = r2s_proto_feature{};
  feature.type = type;
  std::memcpy(feature.word, words, count * sizeof(uint32_t));
  return 0;
}

// Writes the packed header and zeroes the rest of the buffer. The second header
// byte differs by direction in bits 4-3 only.
void PackHeader(const r2s_proto& proto, uint8_t* buffer, size_t size) {
  std::memset(buffer, 0, size);
  const uint32_t* h = proto.header;
  const bool rx = proto.type == kR2sRx;
  const uint32_t ptt_id = rx ? h[2] : h[1];
  const uint32_t mute = rx ? h[3] : h[2];
  const uint32_t summation = rx ? h[4] : h[3];
  buffer[0] = static_cast<uint8_t>(Bits(h[0], 3) << 5 | (rx ? Bits(h[1], 1) << 4 : 0) | Bits(ptt_id, 6) >> 2);
  buffer[1] = static_cast<uint8_t>(Bits(ptt_id, 2) << 6 | Bits(mute, 1) << 5 | Bits(summation, 1) << 4 |
                                   (rx ? Bits(h[5], 1) << 3 : 0) | (proto.feature_count != 0 ? kExtensionBit : 0));
}

void PutBe16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value);
}

// One bit flag and a 23-bit value in three bytes (MAM and RRM).
void PutFlag23(uint8_t* at, uint32_t flag, uint32_t value) {
  at[0] = static_cast<uint8_t>(Bits(flag, 1) << 7 | Bits(value, 23) >> 16);
  PutBe16(at + 1, value);
}

uint32_t GetBe16(const uint8_t* at) {
  return uint32_t{at[0]} << 8 | at[1];
}

void GetFlag23(const uint8_t* at, uint32_t& flag, uint32_t& value) {
  flag = at[0] >> 7;
  value = uint32_t{Bits(at[0], 7)} << 16 | GetBe16(at + 1);
}

// Writes one feature of an RX packet at out; returns its bytes, 0 for a
// feature RX packets do not carry, or an error.
int PackRxFeature(const r2s_proto_feature& f, uint8_t* out) {
  const uint32_t* w = f.word;
  switch (f.type) {
    case kR2sSqi:
      out[0] = 0x11;
      out[1] = static_cast<uint8_t>(Bits(w[0], 5) << 3 | Bits(w[1], 3));
      return 2;
    case kR2sRrc: {
      if (w[8] > 1) {
        return kR2sUnknownType;
      }
      uint8_t flags = 0;
      for (unsigned i = 0; i < 8; ++i) {
        flags = static_cast<uint8_t>(flags | Bits(w[i], 1) << (7 - i));
      }
      out[1] = flags;
      if (w[8] == 0) {
        out[0] = 0x31;
        return 2;
      }
      out[0] = 0x34;
      out[2] = static_cast<uint8_t>(Bits(w[9], 1) << 7 | Bits(w[10], 1) << 6);
      out[3] = static_cast<uint8_t>(w[11]);
      out[4] = static_cast<uint8_t>(w[12]);
      return 5;
    }
    case kR2sMamOrRrm:
      out[0] = 0x4c;
      PutFlag23(out + 1, w[0], w[1]);
      PutFlag23(out + 4, w[2], w[3]);
      PutBe16(out + 7, w[4]);
      PutBe16(out + 9, w[5]);
      PutBe16(out + 11, w[6]);
      return 13;
    default:
      return 0;
  }
}

int PackTxFeature(const r2s_proto_feature& f, uint8_t* out) {
  const uint32_t* w = f.word;
  switch (f.type) {
    case kR2sClimaxTimeDelay:
      out[0] = 0x21;
      out[1] = static_cast<uint8_t>(w[0]);
      return 2;
    case kR2sRrc: {
      uint8_t flags = 0;
      for (unsigned i = 0; i < 8; ++i) {
        flags = static_cast<uint8_t>(flags | Bits(w[i], 1) << (7 - i));
      }
      out[0] = 0x31;
      out[1] = flags;
      return 2;
    }
    case kR2sMamOrRrm:
      out[0] = 0x43;
      PutFlag23(out + 1, w[0], w[1]);
      return 4;
    default:
      return 0;
  }
}

size_t ReservedSize(bool rx, uint32_t type) {
  switch (type) {
    case kR2sSqi:
      return rx ? kSqiSize : 0;
    case kR2sClimaxTimeDelay:
      return rx ? 0 : kClimaxSize;
    case kR2sRrc:
      return rx ? kRxRrcSize : kTxRrcSize;
    case kR2sMamOrRrm:
      return rx ? kMamSize : kRrmSize;
    default:
      return 0;
  }
}

int Pack(const r2s_proto* proto, uint8_t* buffer, size_t size, bool rx) {
  if (buffer == nullptr) {
    return 0;
  }
  if (size < kHeaderSize) {
    return kR2sTruncated;
  }
  PackHeader(*proto, buffer, size);
  if (proto->feature_count == 0) {
    return size < 4 ? kR2sTruncated : 4;
  }
  size_t written = kHeaderSize;
  size_t reserved = kHeaderSize;
  // A stray count above 16 must not walk past the feature table.
  const size_t count = proto->feature_count < kR2sMaxFeatures ? proto->feature_count : kR2sMaxFeatures;
  uint8_t feature[kMamSize];
  for (size_t i = 0; i < count; ++i) {
    const size_t need = ReservedSize(rx, proto->features[i].type);
    if (need == 0) {
      continue;
    }
    if (reserved + need > size) {
      return kR2sTruncated;
    }
    const int bytes = rx ? PackRxFeature(proto->features[i], feature) : PackTxFeature(proto->features[i], feature);
    if (bytes < 0) {
      return bytes;
    }
    std::memcpy(buffer + written, feature, static_cast<size_t>(bytes));
    written += static_cast<size_t>(bytes);
    reserved += need;
  }
  return static_cast<int>(written);
}

// Decodes the body of a recognised feature into entry; false for a pair of
// type and length this direction does not carry.
bool UnpackRxFeature(unsigned type, unsigned length, const uint8_t* body, r2s_proto_feature& entry) {
  uint32_t* w = entry.word;
  if (type == 1 && length == 1) {
    entry.type = kR2sSqi;
    w[0] = body[0] >> 3;
    w[1] = Bits(body[0], 3);
    return true;
  }
  if (type == 3 && (length == 1 || length == 4)) {
    entry.type = kR2sRrc;
    for (unsigned i = 0; i < 8; ++i) {
      w[i] = (body[0] >> (7 - i)) & 1u;
    }
    w[8] = length == 4 ? 1 : 0;
    if (length == 4) {
      w[9] = body[1] >> 7;
      w[10] = (body[1] >> 6) & 1u;
      w[11] = body[2];
      w[12] = body[3];
    }
    return true;
  }
  if (type == 4 && length == 12) {
    entry.type = kR2sMamOrRrm;
    GetFlag23(body, w[0], w[1]);
    GetFlag23(body + 3, w[2], w[3]);
    w[4] = GetBe16(body + 6);
    w[5] = GetBe16(body + 8);
    w[6] = GetBe16(body + 10);
    return true;
  }
  return false;
}

bool UnpackTxFeature(unsigned type, unsigned length, const uint8_t* body, r2s_proto_feature& entry) {
  uint32_t* w = entry.word;
  if (type == 2 && length == 1) {
    entry.type = kR2sClimaxTimeDelay;
    w[0] = body[0];
    return true;
  }
  if (type == 3 && length == 1) {
    entry.type = kR2sRrc;
    for (unsigned i = 0; i < 8; ++i) {
      w[i] = (body[0] >> (7 - i)) & 1u;
    }
    return true;
  }
  if (type == 4 && length == 3) {
    entry.type = kR2sMamOrRrm;
    GetFlag23(body, w[0], w[1]);
    return true;
  }
  return false;
}

int Unpack(r2s_proto* proto, const uint8_t* bytes, size_t size, bool rx) {
  if (proto == nullptr || bytes == nullptr) {
    return kR2sMissing;
  }
  if (size < kHeaderSize) {
    return kR2sTruncated;
  }
  const uint32_t ptt_id = uint32_t{Bits(bytes[0], 4)} << 2 | bytes[1] >> 6;
  const uint32_t mute = (bytes[1] >> 5) & 1u;
  const uint32_t summation = (bytes[1] >> 4) & 1u;
  if (rx) {
    r2s_proto_set_rx_header(proto, bytes[0] >> 5, (bytes[0] >> 4) & 1u, ptt_id, mute, summation, (bytes[1] >> 3) & 1u);
  } else {
    r2s_proto_set_tx_header(proto, bytes[0] >> 5, ptt_id, mute, summation);
  }
  proto->feature_count = 0;
  if ((bytes[1] & kExtensionBit) == 0) {
    return 0;
  }
  size_t at = kHeaderSize;
  while (at < size && proto->feature_count < kR2sMaxFeatures) {
    const unsigned type = bytes[at] >> 4;
    const unsigned length = Bits(bytes[at], 4);
    if (length > size - at - 1) {
      return kR2sTruncated;
    }
    r2s_proto_feature& entry = proto->features[proto->feature_count];
    entry = r2s_proto_feature{};
    const uint8_t* body = bytes + at + 1;
    if (rx ? UnpackRxFeature(type, length, body, entry) : UnpackTxFeature(type, length, body, entry)) {
      ++proto->feature_count;
    }
    at += 1 + length;
  }
  return 0;
}

}  // namespace

int r2s_proto_init(r2s_proto* proto, uint32_t type) {
  if (proto != nullptr) {
    *proto = r2s_proto{};
    proto->type = type;
  }
  return 0;
}

int r2s_proto_set_type(r2s_proto* proto, uint32_t type) {
  if (proto != nullptr) {
    proto->type = type;
  }
  return 0;
}

int r2s_proto_set_tx_header(r2s_proto* proto, uint32_t ptt, uint32_t ptt_id, uint32_t ptt_mute,
                            uint32_t ptt_summation) {
  if (proto != nullptr) {
    proto->type = kR2sTx;
    proto->header[0] = ptt;
    proto->header[1] = ptt_id;
    proto->header[2] = ptt_mute;
    proto->header[3] = ptt_summation;
  }
  return 0;
}

int r2s_proto_set_rx_header(r2s_proto* proto, uint32_t ptt, uint32_t squ, uint32_t ptt_id, uint32_t ptt_mute,
                            uint32_t ptt_summation, uint32_t sct) {
  if (proto != nullptr) {
    proto->type = kR2sRx;
    proto->header[0] = ptt;
    proto->header[1] = squ;
    proto->header[2] = ptt_id;
    proto->header[3] = ptt_mute;
    proto->header[4] = ptt_summation;
    proto->header[5] = sct;
  }
  return 0;
}

int r2s_proto_reset_additionals(r2s_proto* proto) {
  if (proto != nullptr) {
    proto->feature_count = 0;
  }
  return 0;
}

int r2s_proto_add_rx_sqi(r2s_proto* proto, const r2s_proto_rx_additional_sqi* sqi) {
  return sqi == nullptr ? 0 : AddFeature(proto, kR2sSqi, sqi->word, 2);
}

int r2s_proto_add_rx_sqi(r2s_proto* proto, uint32_t word1, uint32_t word2) {
  const r2s_proto_rx_additional_sqi sqi{{word1, word2}};
  return r2s_proto_add_rx_sqi(proto, &sqi);
}

int r2s_proto_add_rx_rrc(r2s_proto* proto, const r2s_proto_rx_additional_rrc* rrc) {
  return rrc == nullptr ? 0 : AddFeature(proto, kR2sRrc, rrc->word, 13);
}

int r2s_proto_add_rx_mam(r2s_proto* proto, const r2s_proto_rx_additional_mam* mam) {
  return mam == nullptr ? 0 : AddFeature(proto, kR2sMamOrRrm, mam->word, 7);
}

int r2s_proto_add_tx_time_delay(r2s_proto* proto, const r2s_proto_tx_additional_climax_time_delay* delay) {
  return delay == nullptr ? 0 : AddFeature(proto, kR2sClimaxTimeDelay, delay->word, 1);
}

int r2s_proto_add_tx_rrc(r2s_proto* proto, const r2s_proto_tx_additional_rrc* rrc) {
  return rrc == nullptr ? 0 : AddFeature(proto, kR2sRrc, rrc->word, 8);
}

int r2s_proto_add_tx_rrm(r2s_proto* proto, const r2s_proto_tx_additional_rrm* rrm) {
  return rrm == nullptr ? 0 : AddFeature(proto, kR2sMamOrRrm, rrm->word, 2);
}

int r2s_proto_pack(const r2s_proto* proto, uint8_t* buffer, size_t size) {
  if (proto == nullptr) {
    return kR2sMissing;
  }
  switch (proto->type) {
    case kR2sTx:
      return r2s_proto_pack_tx(proto, buffer, size);
    case kR2sRx:
      return r2s_proto_pack_rx(proto, buffer, size);
    default:
      return kR2sUnknownType;
  }
}

int r2s_proto_pack_rx(const r2s_proto* proto, uint8_t* buffer, size_t size) {
  return proto == nullptr ? kR2sMissing : Pack(proto, buffer, size, true);
}

int r2s_proto_pack_tx(const r2s_proto* proto, uint8_t* buffer, size_t size) {
  return proto == nullptr ? kR2sMissing : Pack(proto, buffer, size, false);
}

int r2s_proto_unpack_rx(r2s_proto* proto, const uint8_t* bytes, size_t size) {
  return Unpack(proto, bytes, size, true);
}

int r2s_proto_unpack_tx(r2s_proto* proto, const uint8_t* bytes, size_t size) {
  return Unpack(proto, bytes, size, false);
}

int cmp_r2s_proto_source(const r2s_proto* a, const r2s_proto* b) {
  if (a == nullptr || b == nullptr) {
    return -1;
  }
  if (a->type != b->type) {
    return static_cast<int>(b->type - a->type);
  }
  if (a->source_ssrc != b->source_ssrc) {
    return static_cast<int>(b->source_ssrc - a->source_ssrc);
  }
  return static_cast<int>(b->source_address - a->source_address);
}
