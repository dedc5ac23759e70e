#include "asn1/OpenData.h"

#include "asn1/Visitor.h"

#include <utility>

namespace ASN1 {

const TypeInfo OpenData::theInfo = {&OpenData::create, 0};

AbstractData* OpenData::create(const TypeInfo* info) {
  return new OpenData(info);
}

OpenData::OpenData(const OpenData& other)
    : AbstractData(other),
      data_(other.data_ ? other.data_->clone() : nullptr),
      buf_(other.buf_ ? std::make_unique<std::vector<char>>(*other.buf_) : nullptr) {}

OpenData& OpenData::operator=(const OpenData& other) {
  OpenData copy(other);
  swap(copy);
  return *this;
}

void OpenData::swap(OpenData& other) {
  std::swap(info_, other.info_);
  data_.swap(other.data_);
  buf_.swap(other.buf_);
}

int OpenData::do_compare(const AbstractData& data) const {
  const OpenData& other = *boost::polymorphic_downcast<const OpenData*>(&data);
  if (data_ && other.data_) {
    return data_->compare(*other.data_);
  }
  if (buf_ && other.buf_) {
    const auto* mine = reinterpret_cast<const uint8_t*>(buf_->data());
    const auto* theirs = reinterpret_cast<const uint8_t*>(other.buf_->data());
    return lexicographic_compare_bytes(mine, mine + buf_->size(), theirs, theirs + other.buf_->size());
  }
  if (!data_ && !other.data_ && !buf_ && !other.buf_) {
    return 0;
  }
  return data_ ? 1 : -1;
}

AbstractData* OpenData::do_clone() const {
  OpenData* copy = CreateSameType(*this);
  *copy = *this;
  return copy;
}

bool OpenData::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool OpenData::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

AbstractData* TypeConstrainedOpenData::create(const TypeInfo* info) {
  return new TypeConstrainedOpenData(static_cast<const OpenTypeInfo*>(info));
}

TypeConstrainedOpenData::TypeConstrainedOpenData(const OpenTypeInfo* info) : OpenData(info) {
  if (info->containedInfo != nullptr) {
    set_data(info->containedInfo->create(info->containedInfo));
  }
}

bool TypeConstrainedOpenData::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool TypeConstrainedOpenData::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(static_cast<const OpenData&>(*this));
}

}  // namespace ASN1
