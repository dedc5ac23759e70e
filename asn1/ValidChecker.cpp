#include "asn1/ValidChecker.h"

#include "asn1/BMPString.h"
#include "asn1/BitString.h"
#include "asn1/CharacterString.h"
#include "asn1/Choice.h"
#include "asn1/Enumerated.h"
#include "asn1/GeneralizedTime.h"
#include "asn1/Integer.h"
#include "asn1/ObjectIdentifier.h"
#include "asn1/OctetString.h"
#include "asn1/OpenData.h"
#include "asn1/Sequence.h"
#include "asn1/SequenceOf.h"

#include <algorithm>
#include <ostream>

namespace ASN1 {

bool SizeWithinConstraint(const ConstrainedInfo& info, uint64_t count, bool strict) {
  if (static_cast<int64_t>(count) < info.lower) {
    return false;
  }
  return count <= info.upper || (!strict && info.type == ConstraintType::ExtendableConstraint);
}

bool ValidChecker::do_visit(const INTEGER& value) {
  return value.isStrictValid() || (!strict_ && value.info()->type == ConstraintType::ExtendableConstraint);
}

bool ValidChecker::do_visit(const ENUMERATED& value) {
  return value.isStrictlyValid() || (!strict_ && value.extendable());
}

bool ValidChecker::do_visit(const OBJECT_IDENTIFIER& value) {
  return !value.arcs().empty();
}

bool ValidChecker::do_visit(const BIT_STRING& value) {
  return SizeWithinConstraint(*value.info(), value.size(), strict_);
}

bool ValidChecker::do_visit(const OCTET_STRING& value) {
  return SizeWithinConstraint(*value.info(), value.size(), strict_);
}

bool ValidChecker::do_visit(const AbstractString& value) {
  return strict_ ? value.isStrictlyValid() : value.isValid();
}

bool ValidChecker::do_visit(const BMPString& value) {
  return strict_ ? value.isStrictlyValid() : value.isValid();
}

bool ValidChecker::do_visit(const CHOICE& value) {
  return strict_ ? value.isStrictlyValid() : value.isValid();
}

bool ValidChecker::do_visit(const OpenData& value) {
  return strict_ ? value.isStrictlyValid() : value.isValid();
}

bool ValidChecker::do_visit(const GeneralizedTime& value) {
  return value.isStrictlyValid();
}

bool ValidChecker::do_visit(const SEQUENCE_OF_Base& value) {
  return strict_ ? value.isStrictlyValid() : value.isValid();
}

bool ValidChecker::visitExtensionRoot(const SEQUENCE& value, int index) {
  const AbstractData* field = value.getField(static_cast<uint32_t>(index));
  return field != nullptr && field->accept(*this);
}

bool ValidChecker::visitKnownExtension(const SEQUENCE& value, int index) {
  return visitExtensionRoot(value, index);
}

bool InvalidTracer::fail(const std::string& text) {
  strm << text;
  return false;
}

bool InvalidTracer::tracePart(const AbstractData* part, const std::string& path) {
  InvalidTracer nested;
  if (part != nullptr && part->accept(nested)) {
    return true;
  }
  return fail(path + nested.strm.str());
}

bool InvalidTracer::traceSize(const char* kind, uint64_t count, const ConstrainedInfo& info) {
  const std::string head = std::string(" This ") + kind + " has size " + std::to_string(count);
  if (static_cast<int64_t>(count) < info.lower) {
    return fail(head + " smaller than its lower bound " + std::to_string(info.lower));
  }
  if (!SizeWithinConstraint(info, count, false)) {
    return fail(head + " greater than its upper bound " + std::to_string(info.upper));
  }
  return true;
}

bool InvalidTracer::traceField(const SEQUENCE& value, int index) {
  return tracePart(value.getField(static_cast<uint32_t>(index)), std::string(".") + value.info()->fieldNames[index]);
}

bool InvalidTracer::do_visit(const INTEGER& value) {
  if (value.isStrictValid()) {
    return true;
  }
  const ConstrainedInfo& info = *value.info();
  const int64_t number = info.lower < 0 ? int64_t{value.getValue()} : int64_t{static_cast<uint32_t>(value.getValue())};
  const std::string head = " The INTEGER value " + std::to_string(number);
  if (number < info.lower) {
    return fail(head + " is smaller than lower bound " + std::to_string(info.lower));
  }
  return info.type == ConstraintType::ExtendableConstraint ||
         fail(head + " is greater than upper bound " + std::to_string(info.upper));
}

bool InvalidTracer::do_visit(const ENUMERATED& value) {
  return value.isStrictlyValid() || fail(" This ENUMERATED has invalid value " + std::to_string(value.getValue()));
}

bool InvalidTracer::do_visit(const OBJECT_IDENTIFIER& value) {
  return !value.arcs().empty() || fail(" This OBJECT IDENTIFIER is not assigned");
}

bool InvalidTracer::do_visit(const BIT_STRING& value) {
  return traceSize("BIT STRING", value.size(), *value.info());
}

bool InvalidTracer::do_visit(const OCTET_STRING& value) {
  return traceSize("OCTET STRING", value.size(), *value.info());
}

bool InvalidTracer::do_visit(const AbstractString& value) {
  if (!traceSize("AbstractString", value.size(), *value.info())) {
    return false;
  }
  const auto illegal = std::find_if_not(value.begin(), value.end(),
                                        [&value](char character) { return value.legalCharacter(character); });
  return illegal == value.end() || fail(std::string(" The character '") + *illegal + "' is not valid for the string");
}

bool InvalidTracer::do_visit(const BMPString& value) {
  if (!traceSize("BMPString", value.size(), *value.info())) {
    return false;
  }
  const size_t illegal = value.first_illegal_at();
  return illegal == value.size() || fail(" The character '" + std::to_string(static_cast<uint32_t>(value[illegal])) +
                                         "' is not valid for the string");
}

bool InvalidTracer::do_visit(const CHOICE& value) {
  const int id = value.currentSelection();
  if (id == CHOICE::kNoSelection) {
    return fail(" This CHOICE is not selected");
  }
  if (id < 0 || static_cast<uint32_t>(id) >= value.info()->totalCount || value.getSelection() == nullptr) {
    return fail(" This selection is not understood by this decoder");
  }
  return tracePart(value.getSelection(), std::string(".") + value.info()->selectionNames[id]);
}

bool InvalidTracer::do_visit(const OpenData& value) {
  if (value.has_data()) {
    return value.get_data()->accept(*this);
  }
  return value.has_buf() || fail(" This Open Type does not contain any valid data");
}

bool InvalidTracer::do_visit(const GeneralizedTime& value) {
  return value.isStrictlyValid() || fail(" This GeneralizedTime is not valid");
}

bool InvalidTracer::do_visit(const SEQUENCE_OF_Base& value) {
  if (!traceSize("SEQUENCE OF", value.size(), *value.info())) {
    return false;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    if (!tracePart(&value.at(i), "[" + std::to_string(i) + "]")) {
      return false;
    }
  }
  return true;
}

bool InvalidTracer::visitExtensionRoot(const SEQUENCE& value, int index) {
  return traceField(value, index);
}

bool InvalidTracer::visitKnownExtension(const SEQUENCE& value, int index) {
  return traceField(value, index);
}

bool trace_invalid(std::ostream& os, const char* prefix, const AbstractData& value) {
  InvalidTracer tracer;
  if (value.accept(tracer)) {
    return true;
  }
  os << prefix << tracer.strm.str() << std::endl;
  return false;
}

}  // namespace ASN1
