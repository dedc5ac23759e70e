#pragma once

namespace ASN1 {

class AbstractData;
class Null;
class BOOLEAN;
class INTEGER;
class IntegerWithNamedNumber;
class ENUMERATED;
class OBJECT_IDENTIFIER;
class BIT_STRING;
class OCTET_STRING;
class AbstractString;
class BMPString;
class GeneralizedTime;
class SEQUENCE;
class SEQUENCE_OF_Base;
class CHOICE;
class OpenData;
class TypeConstrainedOpenData;

// The mutating side of the double dispatch: decoders fill values in. A SEQUENCE is walked by visit(), which offers
// every root field with its optional number and lets the visitor decide what is present.
class Visitor {
 public:
  // Results of the SEQUENCE steps.
  enum : int { kFail = 0, kStop = 1, kRootsOnly = 2, kGoOn = 3 };

  virtual ~Visitor() = default;

  virtual bool do_visit(Null& value) = 0;
  virtual bool do_visit(BOOLEAN& value) = 0;
  virtual bool do_visit(INTEGER& value) = 0;
  virtual bool do_visit(IntegerWithNamedNumber& value);
  virtual bool do_visit(ENUMERATED& value) = 0;
  virtual bool do_visit(OBJECT_IDENTIFIER& value) = 0;
  virtual bool do_visit(OCTET_STRING& value) = 0;
  virtual bool do_visit(BIT_STRING& value) = 0;
  virtual bool do_visit(AbstractString& value) = 0;
  virtual bool do_visit(BMPString& value) = 0;
  virtual bool do_visit(CHOICE& value) = 0;
  virtual bool do_visit(SEQUENCE_OF_Base& value) = 0;
  virtual bool do_visit(OpenData& value) = 0;
  // Decodes the octets kept in an open type into its data.
  virtual bool do_revisit(OpenData& value) = 0;
  virtual bool do_visit(TypeConstrainedOpenData& value) = 0;
  virtual bool do_visit(GeneralizedTime& value) = 0;

  virtual int preVisitExtensionRoots(SEQUENCE& value);
  virtual int visitExtensionRoot(SEQUENCE& value, int index, int optionalNumber);
  virtual int preVisitExtensions(SEQUENCE& value);
  virtual int visitKnownExtension(SEQUENCE& value, int index, int optionalNumber);
  virtual int visitUnknownExtensions(SEQUENCE& value);

  // The walk of asn1/SequenceWalk.h over these steps.
  virtual bool visit(SEQUENCE& value);
};

// The reading side: encoders and printers. A SEQUENCE is walked by visit(), which offers only present fields.
class ConstVisitor {
 public:
  virtual ~ConstVisitor() = default;

  virtual bool do_visit(const AbstractData& value);
  virtual bool do_visit(const Null& value);
  virtual bool do_visit(const BOOLEAN& value);
  virtual bool do_visit(const INTEGER& value);
  virtual bool do_visit(const IntegerWithNamedNumber& value);
  virtual bool do_visit(const ENUMERATED& value);
  virtual bool do_visit(const OBJECT_IDENTIFIER& value);
  virtual bool do_visit(const BIT_STRING& value);
  virtual bool do_visit(const OCTET_STRING& value);
  virtual bool do_visit(const AbstractString& value);
  virtual bool do_visit(const BMPString& value);
  virtual bool do_visit(const CHOICE& value);
  virtual bool do_visit(const OpenData& value);
  virtual bool do_visit(const GeneralizedTime& value);
  virtual bool do_visit(const SEQUENCE_OF_Base& value);

  virtual bool preVisitExtensionRoots(const SEQUENCE& value);
  virtual bool visitExtensionRoot(const SEQUENCE& value, int index);
  virtual bool preVisitExtensions(const SEQUENCE& value);
  virtual bool visitKnownExtension(const SEQUENCE& value, int index);
  virtual bool afterVisitSequence(const SEQUENCE& value);

  // The walk of asn1/SequenceWalk.h over these steps.
  virtual bool visit(const SEQUENCE& value);
};

}  // namespace ASN1
