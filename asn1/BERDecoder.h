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
  // The header of a value, which must carry the value's own tag unless a field's or alternative's tag was already
  // matched for it (dontCheckTag); the position is kept on failure.
  bool decodeHeader(const AbstractData& value, uint32_t& length);
  // Copies up to count octets of the contents being read and moves past them; the number copied.
  uint32_t decodeBlock(char* to, uint32_t count);
  // Reads the headers in front of a CHOICE's alternative (the CHOICE's own tag around it, when it has one) and
  // selects the alternative by its tag. The position is left on the alternative's header; endOfAlternative is
  // where the CHOICE's encoding ends.
  bool decodeChoicePreamle(CHOICE& value, const char*& endOfAlternative);

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
  // Whether the value is read inside a tag around it: a field's or alternative's tag, or its type's own tag. For a
  // CHOICE and an open type that tag wraps the whole encoding of what they hold.
  bool isWrapped(const AbstractData& value) const;
  bool peekHeader(uint32_t& tag, size_t& next);
  // The header of a primitive value, whose contents are at most `limit` octets. The constructed form, which this
  // coder does not segment, is refused.
  bool decodePrimitiveHeader(const AbstractData& value, uint32_t limit, uint32_t& length);
  // The contents of a primitive value, the position moved past them.
  bool decodeContents(const AbstractData& value, uint32_t limit, const uint8_t*& contents, uint32_t& length);
  // An OCTET STRING or a character string: its contents as they stand.
  template <class Octets>
  bool decodeOctets(Octets& value);
  bool decodeSigned(const AbstractData& value, bool as_unsigned, uint32_t& word);
  int decodeField(SEQUENCE& value, int index, int optionalNumber);

  CoderEnv* env_;
  const uint8_t* data_;
  size_t pos_ = 0;
  size_t end_;                        // end of the innermost contents being read
  std::vector<size_t> sequenceEnds_;  // the enclosing ends of the SEQUENCE values being read
  unsigned dontCheckTag_ = 0;         // headers still to be read under a tag that was matched already
};

}  // namespace ASN1
