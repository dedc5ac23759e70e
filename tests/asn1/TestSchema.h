#pragma once

// A small module described the way generated code describes its types, shaped like the controller link's top
// level so that the wire examples of the link can be checked byte for byte:
//
//   Message ::= SEQUENCE { seq INTEGER OPTIONAL, slot INTEGER (0..1023) OPTIONAL, pdu PDU }
//   PDU ::= CHOICE { command Command, response Response, signal INTEGER }
//   Command ::= CHOICE { query NULL, testBpc NULL, connect INTEGER (0..1023), disconnect NULL, create NULL,
//                        destroy NULL, activate NULL, deactivate NULL, userData OCTET STRING, ioctl NULL,
//                        trunkCfg NULL, clockCfg NULL, ping NULL, display NULL, protoLemz NULL, ... }
//   Response ::= CHOICE { success NULL, error ErrorCause }
//   ErrorCause ::= ENUMERATED { invalidParams(0), ... destroyInProgress(12), ... }
//   Sparse ::= ENUMERATED { low(-1), one(1), far(40) }
//   Tone ::= SEQUENCE { a INTEGER, b BOOLEAN OPTIONAL, ..., done BOOLEAN, more IA5String }

#include "asn1/ASN1.h"

#include <optional>

namespace test {

using Slot = ASN1::Constrained_INTEGER<ASN1::ConstraintType::FixedConstraint, 0, 1023>;

class ErrorCause : public ASN1::ENUMERATED {
 public:
  enum NamedNumber { invalidParams = 0, internal = 5, destroyInProgress = 12 };
  static const ASN1::EnumeratedInfo theInfo;
  ErrorCause() : ENUMERATED(&theInfo) {}
};

class Sparse : public ASN1::ENUMERATED {
 public:
  static const ASN1::EnumeratedInfo theInfo;
  Sparse() : ENUMERATED(&theInfo) {}
};

class Response : public ASN1::CHOICE {
 public:
  enum { success = 0, error = 1 };
  static const ASN1::ChoiceInfo theInfo;
  Response() : CHOICE(&theInfo) {}
};

class Command : public ASN1::CHOICE {
 public:
  enum { query = 0, connect = 2, create = 4, destroy = 5, userData = 8, ping = 12 };
  static const ASN1::ChoiceInfo theInfo;
  Command() : CHOICE(&theInfo) {}
};

class PDU : public ASN1::CHOICE {
 public:
  enum { command = 0, response = 1, signal = 2 };
  static const ASN1::ChoiceInfo theInfo;
  PDU() : CHOICE(&theInfo) {}
};

class Message : public ASN1::SEQUENCE {
 public:
  static const ASN1::SequenceInfo theInfo;
  Message() : SEQUENCE(&theInfo) {}
  ASN1::INTEGER& get_seq() { return fieldAs<ASN1::INTEGER>(0); }
  Slot& get_slot() { return fieldAs<Slot>(1); }
  PDU& get_pdu() { return fieldAs<PDU>(2); }
  bool has_seq() const { return hasOptionalField(0); }
  bool has_slot() const { return hasOptionalField(1); }
  ASN1::INTEGER& include_seq() {
    includeOptionalField(0, 0);
    return get_seq();
  }
  Slot& include_slot() {
    includeOptionalField(1, 1);
    return get_slot();
  }
  void omit_seq() { removeOptionalField(0); }
};

class Tone : public ASN1::SEQUENCE {
 public:
  static const ASN1::SequenceInfo theInfo;
  Tone() : SEQUENCE(&theInfo) {}
  ASN1::INTEGER& get_a() { return fieldAs<ASN1::INTEGER>(0); }
  ASN1::BOOLEAN& get_b() { return fieldAs<ASN1::BOOLEAN>(1); }
  ASN1::BOOLEAN& get_done() { return fieldAs<ASN1::BOOLEAN>(2); }
  ASN1::IA5String& get_more() { return fieldAs<ASN1::IA5String>(3); }
  // b is optional number 0; the extensions done and more are numbers 1 and 2.
  bool has_done() const { return hasOptionalField(1); }
  bool has_more() const { return hasOptionalField(2); }
  ASN1::BOOLEAN& include_b() {
    includeOptionalField(0, 1);
    return get_b();
  }
  ASN1::BOOLEAN& include_done() {
    includeOptionalField(1, 2);
    return get_done();
  }
  ASN1::IA5String& include_more() {
    includeOptionalField(2, 3);
    return get_more();
  }
  void omit_done() { removeOptionalField(1); }
};

// A message: seq and slot when given, and the given PDU alternative holding `selection`.
Message MakeMessage(std::optional<int> seq, std::optional<int> slot, int pdu_index, ASN1::AbstractData* selection);
// A command message with a NULL-typed alternative.
Message MakeCommand(std::optional<int> seq, std::optional<int> slot, int command);

}  // namespace test
