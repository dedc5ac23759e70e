#include "asn1/Choice.h"

#include "asn1/BERTags.h"
#include "asn1/Visitor.h"

#include <algorithm>
#include <utility>

namespace ASN1 {

AbstractData* CHOICE::create(const TypeInfo* info) {
  return new CHOICE(static_cast<const ChoiceInfo*>(info));
}

CHOICE::CHOICE(const ChoiceInfo* info, int id, AbstractData* value)
    : AbstractData(info), choice_(value), choiceID_(id) {}

CHOICE::CHOICE(const CHOICE& other)
    : AbstractData(other), choice_(other.choice_ ? other.choice_->clone() : nullptr), choiceID_(other.choiceID_) {}

CHOICE& CHOICE::operator=(const CHOICE& other) {
  CHOICE copy(other);
  swap(copy);
  return *this;
}

void CHOICE::swap(CHOICE& other) {
  std::swap(info_, other.info_);
  choice_.swap(other.choice_);
  std::swap(choiceID_, other.choiceID_);
}

void CHOICE::setSelection(int id, AbstractData* value) {
  choice_.reset(value);
  choiceID_ = id;
}

bool CHOICE::createSelection() {
  if (choiceID_ >= 0 && static_cast<uint32_t>(choiceID_) < info()->totalCount) {
    const TypeInfo* selection_info = info()->selectionInfos[choiceID_];
    if (selection_info != nullptr) {
      choice_.reset(selection_info->create(selection_info));
      return true;
    }
  }
  choiceID_ = kUnknownExtension;
  choice_.reset();
  return false;
}

bool CHOICE::select(int id) {
  choiceID_ = id;
  return createSelection();
}

bool CHOICE::isValid() const {
  return choiceID_ >= 0 && static_cast<uint32_t>(choiceID_) < info()->totalCount && choice_ && choice_->isValid();
}

bool CHOICE::isStrictlyValid() const {
  return choiceID_ >= 0 && static_cast<uint32_t>(choiceID_) < info()->rootCount && choice_ &&
         choice_->isStrictlyValid();
}

// Automatic tags are context-specific [index]. A tag table lists the root alternatives' tags in order; a first
// entry of 0 is an untagged CHOICE, whose own alternatives' tags stand for it.
bool CHOICE::setID(unsigned tagNumber, unsigned tagClass) {
  const ChoiceInfo& choice_info = *info();
  if (tagNumber > kMaxTagNumber) {
    return select(kUnknownExtension);
  }
  const uint32_t tag = tagClass << 16 | tagNumber;
  if (choice_info.selectionTags == nullptr) {
    return select(tagClass << 16 == kContextSpecific ? static_cast<int>(tagNumber) : kUnknownExtension);
  }
  const uint32_t* first = choice_info.selectionTags;
  const uint32_t* last = first + choice_info.rootCount;
  const uint32_t* found = std::lower_bound(first, last, tag);
  if (found != last && *found == tag) {
    return select(static_cast<int>(found - first));
  }
  if (first == last || *first != 0 || !select(0)) {
    return select(kUnknownExtension);
  }
  CHOICE* untagged = dynamic_cast<CHOICE*>(choice_.get());
  return (untagged != nullptr && untagged->setID(tagNumber, tagClass)) || select(kUnknownExtension);
}

int CHOICE::do_compare(const AbstractData& data) const {
  const CHOICE& other = *boost::polymorphic_downcast<const CHOICE*>(&data);
  if (choiceID_ != other.choiceID_ || choiceID_ < 0) {
    return (choiceID_ > other.choiceID_) - (choiceID_ < other.choiceID_);
  }
  if (!choice_ || !other.choice_) {
    return (choice_ != nullptr) - (other.choice_ != nullptr);
  }
  return choice_->compare(*other.choice_);
}

AbstractData* CHOICE::do_clone() const {
  CHOICE* copy = CreateSameType(*this);
  *copy = *this;
  return copy;
}

bool CHOICE::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool CHOICE::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
