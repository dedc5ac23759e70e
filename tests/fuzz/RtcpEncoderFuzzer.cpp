// libFuzzer target: the RTCP encoders with random items, texts and buffer
// sizes. The input: two bytes for the buffer size (0..1100), a byte whose low
// bit picks BYE over SDES, the SSRC, then items, each a type byte (CNAME to PRIV), a length
// byte pair (texts up to 300 bytes) and the text. Invariants: nothing is
// written past the size (the buffer is exactly that long, the sanitizers
// watch), the result is 0 or a multiple of 4 no larger than the size, and a
// non-empty result parses as one well-formed RTCP packet carrying the SSRC.
#include "rtp/RTPC.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void Check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// A small RTCP reader: the common header, the SSRC, and for SDES an item list
// ended by a null item and zero padding, for BYE an optional reason.
void Parse(const uint8_t* p, unsigned length, unsigned pt, uint32_t ssrc) {
  Check(length >= 8 && (p[0] & 0xC0) == 0x80 && (p[0] & 0x20) == 0 && (p[0] & 0x1F) == 1 && p[1] == pt);
  Check((uint32_t{p[2]} << 8 | p[3]) == length / 4 - 1);
  Check(Be32(p + 4) == ssrc);
  unsigned at = 8;
  if (pt == 202) {
    while (at < length && p[at] != 0) {
      Check(at + 2 <= length && at + 2 + p[at + 1] <= length);
      at += 2 + p[at + 1];
    }
    Check(at < length);  // the null item is there
    for (; at < length; ++at) {
      Check(p[at] == 0);
    }
    return;
  }
  if (at < length) {
    Check(at + 1 + p[at] <= length && length - (at + 1 + p[at]) < 4);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 7) {
    return 0;
  }
  const unsigned room = (unsigned{data[0]} << 8 | data[1]) % 1101;
  const bool bye = (data[2] & 1) != 0;
  const uint32_t ssrc = Be32(data + 3);
  size_t at = 7;
  std::unique_ptr<RTPC::Msg> message;
  if (bye) {
    message = std::make_unique<RTPC::BYE>(ssrc, std::string(reinterpret_cast<const char*>(data + at), size - at));
  } else {
    auto sdes = std::make_unique<RTPC::SDES>(ssrc);
    while (at + 3 <= size) {
      const auto type = static_cast<RTPC::SDES::Item::Type>(data[at] % 8 + 1);
      const size_t length = std::min<size_t>((size_t{data[at + 1]} << 8 | data[at + 2]) % 301, size - at - 3);
      sdes->add(type, std::string(reinterpret_cast<const char*>(data + at + 3), length));
      at += 3 + length;
    }
    message = std::move(sdes);
  }
  std::vector<uint8_t> buffer(room);
  const unsigned length = message->encode(reinterpret_cast<char*>(buffer.data()), room);
  Check(length % 4 == 0 && length <= room);
  if (length != 0) {
    Parse(buffer.data(), length, bye ? 203 : 202, ssrc);
  }
  return 0;
}
