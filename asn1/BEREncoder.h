#pragma once

#include "asn1/BERTags.h"
#include "asn1/Visitor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ASN1 {

// Appends the BER form of a value (X.690, definite lengths, the fewest length octets) to a byte vector. Each header
// is written from the length of the contents counted beforehand, so nothing written is ever moved. Fields and
// alternatives get their automatic context tags, as the BER decoder expects. Where this coder's form differs from
// X.690 on purpose, the BER decoder reads both:
// - an INTEGER is written as the shortest two's complement of its 32-bit word, so a value of a range such as
//   0..4294967295 above 2^31 - 1 is written as a negative number (0xFFFFFFFF as the one octet 0xFF);
// - the tag that wraps a CHOICE or an open type is constructed only when what it holds is constructed (X.690 makes
//   such an explicit tag always constructed).
// A CHOICE without a selection and an open type without contents fail the encode.
class BEREncoder : public ConstVisitor {
 public:
  explicit BEREncoder(std::vector<char>& buffer) : buffer_(buffer) {}

  // The identifier and length octets of a value under the pending tag, or under its own tag when none is pending;
  // nothing for a value without a tag (an untagged CHOICE or open type). The pending tag is used up.
  void encodeHeader(const AbstractData& value);

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
  bool visitKnownExtension(const SEQUENCE& value, int index) override;

 private:
  // The tag of the value about to be written: the pending one, else its descriptor's.
  uint32_t takeTag(const AbstractData& value);
  void writeHeader(uint32_t tag, bool constructed, uint32_t length);
  bool encodeOctets(const AbstractData& value, const char* octets, size_t count);
  bool encodeSigned(const AbstractData& value, int32_t number);
  bool encodeField(const SEQUENCE& value, int index);

  std::vector<char>& buffer_;
  uint32_t pendingTag_ = kOwnTag;
};

// The length of the contents of a value's encoding.
unsigned getDataLength(const AbstractData& value);
// The length of a value's whole encoding under `tag` (kOwnTag: the value's own), identifier and length octets
// counted as BEREncoder writes them; without a tag, the contents alone.
unsigned getObjectLength(const AbstractData& value, uint32_t tag);
// The number of octets (1 to 4) of the shortest two's-complement form of the value.
int getIntegerDataLength(int32_t value);

// Adds up the length of the contents that BEREncoder writes for one value.
class DataLengthCounter final : public ConstVisitor {
 public:
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
  bool visitKnownExtension(const SEQUENCE& value, int index) override;
  bool visit(const SEQUENCE& value) override;

  unsigned length = 0;
};

// Whether a value is written in the primitive form: every simple kind is; SEQUENCE and SEQUENCE OF are not; a CHOICE
// and an open type are as what they hold.
class PrimitiveChecker : public ConstVisitor {
 public:
  using ConstVisitor::do_visit;
  bool do_visit(const CHOICE& value) override;
  bool do_visit(const OpenData& value) override;
  bool do_visit(const SEQUENCE_OF_Base& value) override;
  bool preVisitExtensionRoots(const SEQUENCE& value) override;
};

}  // namespace ASN1
