#pragma once

#include "asn1/Visitor.h"

#include <iosfwd>
#include <vector>

namespace ASN1 {

// Prints a value in ASN.1 value notation, the fixed layout of trace lines. Each operation returns whether the stream
// is still good; a value that cannot be printed (a CHOICE without a valid selection) fails the print.
class AVNEncoder : public ConstVisitor {
 public:
  explicit AVNEncoder(std::ostream& stream) : strm_(stream) {}

  using ConstVisitor::do_visit;
  bool do_visit(const Null& value) override;
  bool do_visit(const BOOLEAN& value) override;
  bool do_visit(const INTEGER& value) override;
  bool do_visit(const IntegerWithNamedNumber& value) override;
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
  bool afterVisitSequence(const SEQUENCE& value) override;

 private:
  bool PrintField(const SEQUENCE& value, int index);
  bool PrintOctets(const char* octets, size_t count);
  void Indent(int count);

  std::ostream& strm_;
  int indent_ = 0;
  std::vector<bool> outputSeparators_;  // per SEQUENCE being printed: a field was printed at that level
};

std::ostream& operator<<(std::ostream& stream, const AbstractData& value);

}  // namespace ASN1
