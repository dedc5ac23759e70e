#include "asn1/Visitor.h"

#include "asn1/ASN1.h"

namespace ASN1 {

bool Visitor::do_visit(IntegerWithNamedNumber& value) {
  return do_visit(static_cast<INTEGER&>(value));
}

int Visitor::preVisitExtensionRoots(SEQUENCE&) {
  return kGoOn;
}
int Visitor::visitExtensionRoot(SEQUENCE&, int, int) {
  return kFail;
}
int Visitor::preVisitExtensions(SEQUENCE&) {
  return kGoOn;
}
int Visitor::visitKnownExtension(SEQUENCE&, int, int) {
  return kFail;
}
int Visitor::visitUnknownExtensions(SEQUENCE&) {
  return kStop;
}

bool Visitor::visit(SEQUENCE& value) {
  const SequenceInfo* info = value.info();
  const int roots = preVisitExtensionRoots(value);
  if (roots < kRootsOnly) {
    return roots != kFail;
  }
  for (uint32_t i = 0; i < info->rootCount; ++i) {
    const int field = visitExtensionRoot(value, static_cast<int>(i), info->fieldIds[i]);
    if (field < kRootsOnly) {
      return field != kFail;
    }
  }
  if (roots != kGoOn) {
    return true;
  }
  const int extensions = preVisitExtensions(value);
  if (extensions != kGoOn) {
    return extensions != kFail;
  }
  for (uint32_t k = 0; k < info->knownExtensionCount; ++k) {
    const int field =
        visitKnownExtension(value, static_cast<int>(info->rootCount + k), static_cast<int>(info->optionalCount + k));
    if (field != kGoOn) {
      return field != kFail;
    }
  }
  return visitUnknownExtensions(value) != kFail;
}

bool ConstVisitor::do_visit(const AbstractData&) {
  return true;
}
bool ConstVisitor::do_visit(const Null& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const BOOLEAN& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const INTEGER& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const IntegerWithNamedNumber& value) {
  return do_visit(static_cast<const INTEGER&>(value));
}
bool ConstVisitor::do_visit(const ENUMERATED& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const OBJECT_IDENTIFIER& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const BIT_STRING& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const OCTET_STRING& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const AbstractString& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const BMPString& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const CHOICE& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const OpenData& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const GeneralizedTime& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::do_visit(const SEQUENCE_OF_Base& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}

bool ConstVisitor::preVisitExtensionRoots(const SEQUENCE& value) {
  return do_visit(static_cast<const AbstractData&>(value));
}
bool ConstVisitor::visitExtensionRoot(const SEQUENCE&, int) {
  return false;
}
bool ConstVisitor::preVisitExtensions(const SEQUENCE&) {
  return true;
}
bool ConstVisitor::visitKnownExtension(const SEQUENCE&, int) {
  return false;
}
bool ConstVisitor::afterVisitSequence(const SEQUENCE&) {
  return true;
}

bool ConstVisitor::visit(const SEQUENCE& value) {
  const SequenceInfo* info = value.info();
  if (!preVisitExtensionRoots(value)) {
    return false;
  }
  for (uint32_t i = 0; i < info->rootCount; ++i) {
    const int number = info->fieldIds[i];
    if (number != -1 && !value.hasOptionalField(number)) {
      continue;
    }
    if (!visitExtensionRoot(value, static_cast<int>(i))) {
      return false;
    }
  }
  if (value.extensionMap().totalBits == 0) {
    return afterVisitSequence(value);
  }
  if (!preVisitExtensions(value)) {
    return false;
  }
  for (uint32_t k = 0; k < info->knownExtensionCount; ++k) {
    if (value.hasOptionalField(static_cast<int>(info->optionalCount + k)) &&
        !visitKnownExtension(value, static_cast<int>(info->rootCount + k))) {
      return false;
    }
  }
  return afterVisitSequence(value);
}

}  // namespace ASN1
