#pragma once

#include "asn1/Descriptors.h"
#include "asn1/Visitor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ASN1 {

class CoderEnv;

// Fills a default-constructed value from its aligned PER form (X.691, with the departures the controller link
// shares: ENUMERATED coded by value, integers of at most 4 octets, no fragmentation). Every read is checked against
// the end of the input and the decoder's limits, so any byte sequence yields a whole value or a failure; on failure
// the value may be partly filled. The position is kept as an offset, so no pointer is ever formed past the input.
class PERDecoder final : public Visitor {
 public:
  PERDecoder(const char* begin, const char* end, CoderEnv* env);

  // Low-level reads: false when the input runs out or the form is not one this coder accepts.
  uint64_t getBitsLeft() const { return uint64_t{size_ - pos_} * 8 + bitPos_ - 8; }
  void byteAlign();
  // Goes on from the start of the byte at position, or from the end when position lies beyond it.
  void setPosition(const char* position);
  bool decodeSingleBit(bool& bit);
  bool decodeMultiBit(unsigned n, uint32_t& value);
  bool decodeBlock(char* destination, size_t n);
  // n bits into (n + 7) / 8 bytes, the last partial byte in its top bits.
  bool decodeBitMap(uint8_t* bytes, uint32_t n);
  bool decodeSmallUnsigned(uint32_t& value);
  bool decodeLength(uint32_t lb, uint32_t ub, uint32_t& n);
  bool decodeUnsigned(uint32_t lb, uint32_t ub, uint32_t& value);
  bool decodeConstrainedLength(const ConstrainedInfo& info, uint32_t& n);
  // Reads a CHOICE's header and selects the alternative it names (a new default value when the selection changes);
  // false when the header is cut off or names no known alternative. For an extension alternative, memento is where
  // its octets end and decoding goes on after the CHOICE (on an octet boundary); otherwise it is null, and decoding
  // goes on where the selection ends.
  bool decodeChoicePreamle(CHOICE& value, const char*& memento);

  bool do_visit(Null& value) override;
  bool do_visit(BOOLEAN& value) override;
  bool do_visit(INTEGER& value) override;
  bool do_visit(ENUMERATED& value) override;
  bool do_visit(OBJECT_IDENTIFIER& value) override;
  bool do_visit(OCTET_STRING& value) override;
  bool do_visit(BIT_STRING& value) override;
  bool do_visit(AbstractString& value) override;
  bool do_visit(BMPString& value) override;
  bool do_visit(CHOICE& value) override;
  bool do_visit(SEQUENCE_OF_Base& value) override;
  bool do_visit(OpenData& value) override;
  bool do_revisit(OpenData& value) override;
  bool do_visit(TypeConstrainedOpenData& value) override;
  bool do_visit(GeneralizedTime& value) override;
  using Visitor::do_visit;

  int preVisitExtensionRoots(SEQUENCE& value) override;
  int visitExtensionRoot(SEQUENCE& value, int index, int optionalNumber) override;
  int preVisitExtensions(SEQUENCE& value) override;
  int visitKnownExtension(SEQUENCE& value, int index, int optionalNumber) override;
  int visitUnknownExtensions(SEQUENCE& value) override;
  bool visit(SEQUENCE& value) override;

 private:
  // X.691 10.2: an open type's value lies in the next `length` octets; it must not read beyond them, and the
  // position moves past them whatever it consumed.
  bool decodeOpenType(uint32_t length, AbstractData& value);
  // Decodes value from the octets between the position and end, then goes on from end.
  bool decodeUpTo(const char* end, AbstractData& value);
  const char* position() const { return reinterpret_cast<const char*>(data_ + pos_); }
  bool skipOctets(uint32_t length);
  bool decodeOpenTypeLength(uint32_t& length) { return decodeLength(0, kUnconstrainedBound, length); }

  CoderEnv* env_;
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  unsigned bitPos_ = 8;  // bits not yet read in the byte at pos_; 8 at a byte boundary
};

}  // namespace ASN1
