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

#include <cstring>
#include <ostream>

namespace ASN1 {

template <class Text>
bool ValidChecker::fail(const Text& text) {
  if (why_ != nullptr) {
    *why_ << text;
  }
  return false;
}

bool ValidChecker::checkPart(const AbstractData* part, const std::string& path) {
  std::ostringstream nested;
  ValidChecker checker(strict_, why_ != nullptr ? &nested : nullptr);
  if (part != nullptr && part->accept(checker)) {
    return true;
  }
  return fail(path + nested.str());
}

bool ValidChecker::checkSize(const char* kind, uint64_t count, const ConstrainedInfo& info) {
  if (static_cast<int64_t>(count) < info.lower) {
    return fail(std::string(" This ") + kind + " has size " + std::to_string(count) + " smaller than its lower bound " +
                std::to_string(info.lower));
  }
  if (count > info.upper && (strict_ || info.type != ConstraintType::ExtendableConstraint)) {
    return fail(std::string(" This ") + kind + " has size " + std::to_string(count) + " greater than its upper bound " +
                std::to_string(info.upper));
  }
  return true;
}

bool ValidChecker::do_visit(const INTEGER& value) {
  const ConstrainedInfo& info = *value.info();
  if (info.type == ConstraintType::Unconstrained) {
    return true;
  }
  const bool tolerated = !strict_ && info.type == ConstraintType::ExtendableConstraint;
  const bool as_signed = info.lower < 0;
  const int64_t number = as_signed ? int64_t{value.getValue()} : int64_t{static_cast<uint32_t>(value.getValue())};
  const std::string text = " The INTEGER value " + std::to_string(number);
  if (number < info.lower && (!tolerated || why_ != nullptr)) {
    return fail(text + " is smaller than lower bound " + std::to_string(info.lower));
  }
  if (number > static_cast<int64_t>(info.upper) && !tolerated) {
    return fail(text + " is greater than upper bound " + std::to_string(info.upper));
  }
  return true;
}

bool ValidChecker::do_visit(const ENUMERATED& value) {
  const bool tolerated = !strict_ && value.info()->extendable && why_ == nullptr;
  if (tolerated || value.getValue() <= value.info()->maxValue) {
    return true;
  }
  return fail(" This ENUMERATED has invalid value " + std::to_string(value.getValue()));
}

bool ValidChecker::do_visit(const OBJECT_IDENTIFIER& value) {
  return !value.arcs().empty() || fail(" This OBJECT IDENTIFIER is not assigned");
}

bool ValidChecker::do_visit(const BIT_STRING& value) {
  return checkSize("BIT STRING", value.size(), *value.info());
}

bool ValidChecker::do_visit(const OCTET_STRING& value) {
  return checkSize("OCTET STRING", value.size(), *value.info());
}

bool ValidChecker::do_visit(const AbstractString& value) {
  const StringInfo& info = *value.info();
  if (!checkSize("AbstractString", value.size(), info)) {
    return false;
  }
  if (info.charSet == nullptr || info.charSetSize == 0) {
    return true;
  }
  for (const char character : value) {
    if (std::memchr(info.charSet, character, info.charSetSize) == nullptr) {
      return fail(std::string(" The character '") + character + "' is not valid for the string");
    }
  }
  return true;
}

bool ValidChecker::do_visit(const BMPString& value) {
  const BMPStringInfo& info = *value.info();
  if (!checkSize("BMPString", value.size(), info)) {
    return false;
  }
  for (const wchar_t character : value) {
    const auto code = static_cast<uint32_t>(character);
    if (code < info.firstChar || code > info.lastChar) {
      return fail(" The character '" + std::to_string(code) + "' is not valid for the string");
    }
  }
  return true;
}

bool ValidChecker::do_visit(const GeneralizedTime& value) {
  const bool in_range = value.year >= 1 && value.month >= 1 && value.month <= 12 && value.day >= 1 && value.day <= 31 &&
                        value.hour >= 0 && value.hour <= 24 && value.minute >= 0 && value.minute <= 59 &&
                        value.second >= 0 && value.second <= 59 && value.mindiff >= -720 && value.mindiff <= 720;
  return in_range || fail(" This GeneralizedTime is not valid");
}

bool ValidChecker::do_visit(const CHOICE& value) {
  const ChoiceInfo& info = *value.info();
  const int id = value.currentSelection();
  if (id == CHOICE::kNoSelection) {
    return fail(" This CHOICE is not selected");
  }
  const uint32_t limit = strict_ ? info.rootCount : info.totalCount;
  if (id < 0 || static_cast<uint32_t>(id) >= limit || value.getSelection() == nullptr) {
    return fail(" This selection is not understood by this decoder");
  }
  return checkPart(value.getSelection(), std::string(".") + info.selectionNames[id]);
}

bool ValidChecker::do_visit(const OpenData& value) {
  if (value.has_data()) {
    return value.get_data()->accept(*this);
  }
  return value.has_buf() || fail(" This Open Type does not contain any valid data");
}

bool ValidChecker::do_visit(const SEQUENCE_OF_Base& value) {
  if (!checkSize("SEQUENCE OF", value.size(), *value.info())) {
    return false;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    if (!checkPart(&value.at(i), "[" + std::to_string(i) + "]")) {
      return false;
    }
  }
  return true;
}

bool ValidChecker::checkField(const SEQUENCE& value, int index) {
  return checkPart(value.getField(static_cast<uint32_t>(index)), std::string(".") + value.info()->fieldNames[index]);
}

bool ValidChecker::visitExtensionRoot(const SEQUENCE& value, int index) {
  return checkField(value, index);
}

bool ValidChecker::visitKnownExtension(const SEQUENCE& value, int index) {
  return checkField(value, index);
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
