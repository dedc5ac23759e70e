#pragma once

// The two SEQUENCE walks, over the steps of a Visitor or a ConstVisitor. A coder whose steps are final walks with
// its own class as Steps, so that the steps of each field are called directly rather than through the table.

#include "asn1/Sequence.h"
#include "asn1/Visitor.h"

namespace ASN1 {

// Every root field is offered with its optional number; the visitor decides what is present.
template <class Steps>
bool WalkSequence(Steps& steps, SEQUENCE& value) {
  const SequenceInfo* info = value.info();
  const int roots = steps.preVisitExtensionRoots(value);
  if (roots < Visitor::kRootsOnly) {
    return roots != Visitor::kFail;
  }
  for (uint32_t i = 0; i < info->rootCount; ++i) {
    const int field = steps.visitExtensionRoot(value, static_cast<int>(i), info->fieldIds[i]);
    if (field < Visitor::kRootsOnly) {
      return field != Visitor::kFail;
    }
  }
  if (roots != Visitor::kGoOn) {
    return true;
  }
  const int extensions = steps.preVisitExtensions(value);
  if (extensions != Visitor::kGoOn) {
    return extensions != Visitor::kFail;
  }
  for (uint32_t k = 0; k < info->knownExtensionCount; ++k) {
    const int field = steps.visitKnownExtension(value, static_cast<int>(info->rootCount + k),
                                                static_cast<int>(info->optionalCount + k));
    if (field != Visitor::kGoOn) {
      return field != Visitor::kFail;
    }
  }
  return steps.visitUnknownExtensions(value) != Visitor::kFail;
}

// Only present fields are offered.
template <class Steps>
bool WalkSequence(Steps& steps, const SEQUENCE& value) {
  const SequenceInfo* info = value.info();
  if (!steps.preVisitExtensionRoots(value)) {
    return false;
  }
  for (uint32_t i = 0; i < info->rootCount; ++i) {
    const int number = info->fieldIds[i];
    if (number != -1 && !value.hasOptionalField(number)) {
      continue;
    }
    if (!steps.visitExtensionRoot(value, static_cast<int>(i))) {
      return false;
    }
  }
  if (value.extensionMap().totalBits == 0) {
    return steps.afterVisitSequence(value);
  }
  if (!steps.preVisitExtensions(value)) {
    return false;
  }
  for (uint32_t k = 0; k < info->knownExtensionCount; ++k) {
    if (value.hasOptionalField(static_cast<int>(info->optionalCount + k)) &&
        !steps.visitKnownExtension(value, static_cast<int>(info->rootCount + k))) {
      return false;
    }
  }
  return steps.afterVisitSequence(value);
}

}  // namespace ASN1
