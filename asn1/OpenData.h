#pragma once

#include "asn1/AbstractData.h"

#include <memory>
#include <vector>

namespace ASN1 {

// An open type: a decoded value, or the still-encoded octets, or neither.
class OpenData : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const TypeInfo* info);

  explicit OpenData(const TypeInfo* info = &theInfo) : AbstractData(info) {}
  OpenData(const OpenData& other);
  OpenData& operator=(const OpenData& other);
  void swap(OpenData& other);

  bool has_data() const { return data_ != nullptr; }
  bool has_buf() const { return buf_ != nullptr; }
  AbstractData* get_data() { return data_.get(); }
  const AbstractData* get_data() const { return data_.get(); }
  const std::vector<char>* get_buf() const { return buf_.get(); }
  // Both take ownership.
  void set_data(AbstractData* data) { data_.reset(data); }
  void set_buf(std::vector<char>* buf) { buf_.reset(buf); }
  // The decoded value is valid (strictly valid); without one, the still-encoded octets are present.
  bool isValid() const { return has_data() ? data_->isValid() : has_buf(); }
  bool isStrictlyValid() const { return has_data() ? data_->isStrictlyValid() : has_buf(); }

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  std::unique_ptr<AbstractData> data_;
  std::unique_ptr<std::vector<char>> buf_;
};

// An open type whose contents are of one known type; `data` starts as a default value of it.
class TypeConstrainedOpenData : public OpenData {
 public:
  static AbstractData* create(const TypeInfo* info);

  explicit TypeConstrainedOpenData(const OpenTypeInfo* info);

  const OpenTypeInfo* info() const { return static_cast<const OpenTypeInfo*>(info_); }

  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

}  // namespace ASN1
