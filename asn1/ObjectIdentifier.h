#pragma once

#include "asn1/AbstractData.h"

#include <cstdint>
#include <vector>

namespace ASN1 {

class OBJECT_IDENTIFIER : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const TypeInfo* info);

  explicit OBJECT_IDENTIFIER(const TypeInfo* info = &theInfo) : AbstractData(info) {}

  std::vector<uint32_t>& arcs() { return arcs_; }
  const std::vector<uint32_t>& arcs() const { return arcs_; }

  // X.690 contents octets (the first two arcs joined, base 128, bit 8 on every octet but the last of an arc).
  // Fewer than two arcs encode as no octets.
  void encodeCommon(std::vector<char>& contents) const;
  // False, leaving the arcs alone, when a subidentifier is cut off or does not fit 32 bits.
  bool decodeCommon(const char* contents, unsigned length);

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  std::vector<uint32_t> arcs_;
};

}  // namespace ASN1
