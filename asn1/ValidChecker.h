#pragma once

#include "asn1/Descriptors.h"
#include "asn1/Visitor.h"

#include <cstdint>
#include <sstream>
#include <string>

namespace ASN1 {

// Whether a size (characters, bits, octets or elements) keeps its constraint; unless strict, an extendable range
// may be exceeded upwards.
bool SizeWithinConstraint(const ConstrainedInfo& info, uint64_t count, bool strict);

// Whether a value respects the constraints of its descriptors, by the checks each value class makes of itself. A
// valid value may exceed extendable bounds (an extendable range, an enumerator or alternative beyond the root); a
// strictly valid one keeps every bound.
class ValidChecker : public ConstVisitor {
 public:
  ValidChecker() = default;

  using ConstVisitor::do_visit;
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

  bool visitExtensionRoot(const SEQUENCE& value, int index) override;
  bool visitKnownExtension(const SEQUENCE& value, int index) override;

 protected:
  explicit ValidChecker(bool strict) : strict_(strict) {}

 private:
  bool strict_ = false;
};

class StrictlyValidChecker : public ValidChecker {
 public:
  StrictlyValidChecker() : ValidChecker(true) {}
};

// Explains in strm the first violation that makes a value invalid, after the path of field and alternative names
// that leads to it. It also names two values that an extendable type only tolerates: an INTEGER below its range and
// an enumerator beyond the root.
class InvalidTracer : public ConstVisitor {
 public:
  using ConstVisitor::do_visit;
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

  bool visitExtensionRoot(const SEQUENCE& value, int index) override;
  bool visitKnownExtension(const SEQUENCE& value, int index) override;

  std::stringstream strm;

 private:
  bool fail(const std::string& text);
  // A component traced on its own; when it fails, `path` and its explanation are appended.
  bool tracePart(const AbstractData* part, const std::string& path);
  bool traceSize(const char* kind, uint64_t count, const ConstrainedInfo& info);
  bool traceField(const SEQUENCE& value, int index);
};

// True when the value is valid; otherwise writes prefix, the explanation and a newline to os, flushed.
bool trace_invalid(std::ostream& os, const char* prefix, const AbstractData& value);

}  // namespace ASN1
