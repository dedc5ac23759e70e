#include "rtp/RTPC.h"

#include <algorithm>
#include <cstring>

namespace RTPC {
namespace {

constexpr unsigned kHeaderSize = 4;
constexpr unsigned kLongestText = 255;
// The length field counts 32-bit words in 16 bits.
constexpr unsigned kLongestPacket = 65536 * 4;

unsigned RoundUp4(unsigned length) {
  return (length + 3) & ~3u;
}

void PutBe32(char* p, uint32_t v) {
  p[0] = static_cast<char>(v >> 24);
  p[1] = static_cast<char>(v >> 16);
  p[2] = static_cast<char>(v >> 8);
  p[3] = static_cast<char>(v);
}

}  // namespace

unsigned Msg::encode(char* buffer, unsigned size) const {
  size = std::min(size, kLongestPacket);
  if (size < 8) {
    return 0;
  }
  const unsigned body = encode_body(buffer + kHeaderSize, size - kHeaderSize);
  // A header without its SSRC is no packet.
  if (body == 0) {
    return 0;
  }
  const unsigned length = kHeaderSize + body;
  buffer[0] = static_cast<char>(0x80 | (count() & 0x1F));
  buffer[1] = static_cast<char>(pt());
  const unsigned words = length / 4 - 1;
  buffer[2] = static_cast<char>(words >> 8);
  buffer[3] = static_cast<char>(words);
  return length;
}

unsigned SDES::encode_body(char* buffer, unsigned size) const {
  // The chunk is the SSRC and an item list that a null item ends, padded to
  // a word: without room for the end even the empty list is no chunk.
  if (size < 8) {
    return 0;
  }
  PutBe32(buffer, ssrc);
  unsigned length = 4;
  for (const Item& item : items_) {
    const unsigned text = std::min<size_t>(item.text.size(), kLongestText);
    // Its type and length, its text, and the end of the list padded.
    if (RoundUp4(length + 2 + text + 1) > size) {
      break;
    }
    buffer[length++] = static_cast<char>(item.type);
    buffer[length++] = static_cast<char>(text);
    std::memcpy(buffer + length, item.text.data(), text);
    length += text;
  }
  const unsigned end = RoundUp4(length + 1);
  std::memset(buffer + length, 0, end - length);
  return end;
}

unsigned BYE::encode_body(char* buffer, unsigned size) const {
  if (size < 4) {
    return 0;
  }
  PutBe32(buffer, ssrc);
  // The reason's length byte and text, padded to a word, within the room.
  const unsigned room = (size - 4) & ~3u;
  if (reason_.empty() || room < 4) {
    return 4;
  }
  const unsigned text = std::min<size_t>({reason_.size(), kLongestText, room - 1});
  buffer[4] = static_cast<char>(text);
  std::memcpy(buffer + 5, reason_.data(), text);
  const unsigned end = RoundUp4(5 + text);
  std::memset(buffer + 5 + text, 0, end - 5 - text);
  return end;
}

}  // namespace RTPC
