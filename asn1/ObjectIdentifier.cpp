#include "asn1/ObjectIdentifier.h"

#include "asn1/Visitor.h"

#include <algorithm>

namespace ASN1 {
namespace {

void AppendSubidentifier(std::vector<char>& contents, uint64_t value) {
  char groups[10];
  int count = 0;
  do {
    groups[count++] = static_cast<char>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) {
    contents.push_back(static_cast<char>(groups[--count] | 0x80));
  }
  contents.push_back(groups[0]);
}

}  // namespace

const TypeInfo OBJECT_IDENTIFIER::theInfo = {&OBJECT_IDENTIFIER::create, kUniversalObjectIdentifier};

AbstractData* OBJECT_IDENTIFIER::create(const TypeInfo* info) {
  return new OBJECT_IDENTIFIER(info);
}

void OBJECT_IDENTIFIER::encodeCommon(std::vector<char>& contents) const {
  contents.clear();
  if (arcs_.size() < 2) {
    return;
  }
  AppendSubidentifier(contents, uint64_t{arcs_[0]} * 40 + arcs_[1]);
  for (size_t i = 2; i < arcs_.size(); ++i) {
    AppendSubidentifier(contents, arcs_[i]);
  }
}

bool OBJECT_IDENTIFIER::decodeCommon(const char* contents, unsigned length) {
  std::vector<uint32_t> arcs;
  uint64_t value = 0;
  bool pending = false;
  for (unsigned i = 0; i < length; ++i) {
    const auto octet = static_cast<uint8_t>(contents[i]);
    value = value << 7 | (octet & 0x7F);
    // The first subidentifier holds two arcs, so it may reach 2 * 40 + 2^32 - 1.
    if (value > (arcs.empty() ? uint64_t{0xFFFFFFFF} + 80 : uint64_t{0xFFFFFFFF})) {
      return false;
    }
    pending = (octet & 0x80) != 0;
    if (pending) {
      continue;
    }
    if (arcs.empty()) {
      const uint64_t first = std::min<uint64_t>(value / 40, 2);
      arcs.push_back(static_cast<uint32_t>(first));
      arcs.push_back(static_cast<uint32_t>(value - first * 40));
    } else {
      arcs.push_back(static_cast<uint32_t>(value));
    }
    value = 0;
  }
  if (pending) {
    return false;
  }
  arcs_.swap(arcs);
  return true;
}

int OBJECT_IDENTIFIER::do_compare(const AbstractData& data) const {
  const std::vector<uint32_t>& other = boost::polymorphic_downcast<const OBJECT_IDENTIFIER*>(&data)->arcs_;
  const size_t common = std::min(arcs_.size(), other.size());
  for (size_t i = 0; i < common; ++i) {
    if (arcs_[i] != other[i]) {
      return arcs_[i] < other[i] ? -1 : 1;
    }
  }
  return (arcs_.size() > other.size()) - (arcs_.size() < other.size());
}

AbstractData* OBJECT_IDENTIFIER::do_clone() const {
  OBJECT_IDENTIFIER* copy = CreateSameType(*this);
  copy->arcs_ = arcs_;
  return copy;
}

bool OBJECT_IDENTIFIER::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool OBJECT_IDENTIFIER::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
