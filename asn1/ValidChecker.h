#pragma once

#include "asn1/Descriptors.h"
#include "asn1/Visitor.h"

#include <cstdint>
#include <iosfwd>
#include <sstream>
#include <string>

namespace ASN1 {

// Whether a value respects the constraints of its descriptors. A valid value may exceed extendable bounds (an
// extendable range, an enumerator or alternative beyond the root); a strictly valid one keeps every bound. An
// unconstrained INTEGER is always valid; a range with a negative lower bound compares values as signed numbers,
// any other range as unsigned words, as the coders read them.
class ValidChecker : public ConstVisitor {
 public:
  ValidChecker() : ValidChecker(false, nullptr) {}

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
  // With an explanation stream, the first violation is written to it in words, after the path that leads to it.
  ValidChecker(bool strict, std::ostream* explanation) : strict_(strict), why_(explanation) {}

 private:
  // A component checked on its own; when it fails, `path` and its explanation are written.
  bool checkPart(const AbstractData* part, const std::string& path);
  bool checkSize(const char* kind, uint64_t count, const ConstrainedInfo& info);
  bool checkField(const SEQUENCE& value, int index);
  template <class Text>
  bool fail(const Text& text);

  bool strict_;
  std::ostream* why_;
};

class StrictlyValidChecker : public ValidChecker {
 public:
  StrictlyValidChecker() : ValidChecker(true, nullptr) {}
};

// Explains the first violation that makes a value invalid, in strm. It also names two values that an extendable
// type only tolerates: an INTEGER below its range and an enumerator beyond the root.
class InvalidTracer : public ValidChecker {
 public:
  InvalidTracer() : ValidChecker(false, &strm) {}

  std::stringstream strm;
};

// True when the value is valid; otherwise writes prefix, the explanation and a newline to os, flushed.
bool trace_invalid(std::ostream& os, const char* prefix, const AbstractData& value);

}  // namespace ASN1
