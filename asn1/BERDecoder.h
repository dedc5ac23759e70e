#pragma once

#include "asn1/BERTags.h"
#include "asn1/Visitor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ASN1 {

class CoderEnv;

// Fills a value from its BER form (X.690, definite lengths), reading the context tags that the BER encoder writes
// for fields and alternatives. Every length is checked against the contents that enclose it before anything behind
// it is read, so any byte sequence yields a value or a failure; on failure the value may be partly filled. Forms
// the encoder writes differently from X.690 are read in both forms (see BEREncoder). The indefinite length octet
// 0x80 reads as length 0.
class BERDecoder : public Visitor {
 public:
  BERDecoder(const char* begin, const char* end, CoderEnv* env);

  // One identifier and length. False when the header is cut off, its tag number passes kMaxTagNumber, its length
  // takes more than 4 octets or passes the end of the enclosing contents.
  bool decodeHeader(uint32_t& tag, bool& primitive, uint32_t& length);

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
  int visitKnownExtension(SEQUENCE& value, int index, int optionalNumber) override;
  int visitUnknownExtensions(SEQUENCE& value) override;

 private:
  // The header of the value about to be read, under the pending tag or the value's own; the position is kept when
  // the tag differs. A primitive kind refuses the constructed form, which this coder does not segment.
  bool decodeValueHeader(const AbstractData& value, bool primitive_only, uint32_t& length);
  bool peekHeader(uint32_t& tag, size_t& next);
  // The contents of a primitive value, at most `limit` octets, the position moved past them.
  bool decodeContents(const AbstractData& value, uint32_t limit, const uint8_t*& contents, uint32_t& length);
  // An OCTET STRING or a character string: its contents as they stand.
  template <class Octets>
  bool decodeOctets(Octets& value);
  bool decodeSigned(const AbstractData& value, bool as_unsigned, uint32_t& word);
  // Reads inside a wrapping tag of `tag` around what follows, then moves past the whole wrapper.
  template <class Read>
  bool decodeWrapped(uint32_t tag, Read read);
  bool decodeAlternative(CHOICE& value);
  int decodeField(SEQUENCE& value, int index, int optionalNumber);

  CoderEnv* env_;
  const uint8_t* data_;
  size_t pos_ = 0;
  size_t end_;                        // end of the innermost contents being read
  std::vector<size_t> sequenceEnds_;  // the enclosing ends of the SEQUENCE values being read
  uint32_t pendingTag_ = kOwnTag;
};

}  // namespace ASN1
