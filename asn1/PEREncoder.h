#pragma once

#include "asn1/Descriptors.h"
#include "asn1/Visitor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ASN1 {

// Appends the aligned PER form of a value to a byte vector (X.691, with the departures the controller link shares:
// ENUMERATED coded by value, integers of at most 4 octets, no fragmentation). A value that does not fit its type
// fails the encoding; the caller discards the partial output.
class PEREncoder final : public ConstVisitor {
 public:
  explicit PEREncoder(std::vector<char>& buffer) : buffer_(buffer) {}

  // Low-level writes.
  void byteAlign() { bitPos_ = 8; }
  void encodeSingleBit(bool bit);
  // The low n bits of value (n <= 32), most significant first.
  void encodeMultiBit(uint32_t value, unsigned n);
  void encodeByte(uint8_t value);
  void encodeBlock(const char* bytes, size_t n);
  // n bits of a byte vector, whole bytes first, then the top bits of the last one; not aligned.
  void encodeBitMap(const uint8_t* bytes, uint32_t n);
  bool encodeSmallUnsigned(uint32_t value);
  bool encodeLength(uint32_t n, uint32_t lb, uint32_t ub);
  bool encodeUnsigned(uint32_t value, uint32_t lb, uint32_t ub);
  // Writes the extension bit of an extendable constraint; true when the unconstrained form must follow.
  bool encodeConstraint(const ConstrainedInfo& info, int64_t value);
  // A count too large for 32 bits fails.
  bool encodeConstrainedLength(const ConstrainedInfo& info, size_t n);
  // X.691 10.2: the value as an open type, its octets preceded by their count.
  bool encodeAnyType(const AbstractData* value);

  using ConstVisitor::do_visit;
  bool do_visit(const Null& value) override;
  bool do_visit(const BOOLEAN& value) override;
  bool do_visit(const INTEGER& value) override;
  bool do_visit(const ENUMERATED& value) override;
  bool do_visit(const OBJECT_IDENTIFIER& value) override;
  bool do_visit(const BIT_STRING& value) override;
  bool do_visit(const OCTET_STRING& value) override;
  bool do_visit(const AbstractString& value) override;
  bool do_visit(const BMPString& value) override;
  bool do_visit(const CHOICE& value) override;
  bool do_visit(const OpenData& value) override;
  bool do_visit(const GeneralizedTime& value) override;
  bool do_visit(const SEQUENCE_OF_Base& value) override;

  bool preVisitExtensionRoots(const SEQUENCE& value) override;
  bool visitExtensionRoot(const SEQUENCE& value, int index) override;
  bool preVisitExtensions(const SEQUENCE& value) override;
  bool visitKnownExtension(const SEQUENCE& value, int index) override;
  bool visit(const SEQUENCE& value) override;

 private:
  std::vector<char>& buffer_;
  unsigned bitPos_ = 8;  // free bits in the last byte; 8 when the next bit starts a new byte
};

}  // namespace ASN1
