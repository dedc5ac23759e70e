#pragma once

#include "asn1/AbstractData.h"

#include <boost/polymorphic_cast.hpp>

#include <memory>

namespace ASN1 {

// A CHOICE value of any type: the index of the selected alternative and the owned selection.
class CHOICE : public AbstractData {
 public:
  enum : int { kNoSelection = -1, kUnknownExtension = -2 };

  static AbstractData* create(const TypeInfo* info);

  explicit CHOICE(const ChoiceInfo* info, int id = kNoSelection, AbstractData* value = nullptr);
  CHOICE(const CHOICE& other);
  CHOICE& operator=(const CHOICE& other);
  void swap(CHOICE& other);

  const ChoiceInfo* info() const { return static_cast<const ChoiceInfo*>(info_); }
  int currentSelection() const { return choiceID_; }
  AbstractData* getSelection() { return choice_.get(); }
  const AbstractData* getSelection() const { return choice_.get(); }
  // The selection as its class; the alternative must be selected.
  template <class T>
  T& selectionAs() {
    assert(choice_ && "an alternative is selected");
    return *boost::polymorphic_downcast<T*>(choice_.get());
  }
  template <class T>
  const T& selectionAs() const {
    assert(choice_ && "an alternative is selected");
    return *boost::polymorphic_downcast<const T*>(choice_.get());
  }
  // Takes ownership of value (which may be null); the id is not checked.
  void setSelection(int id, AbstractData* value);
  // Replaces the selection by a default value of alternative choiceID; false, with id kUnknownExtension and no
  // selection, when there is no such alternative.
  bool createSelection();
  // Selects alternative id with a default value; false as createSelection.
  bool select(int id);
  // A known alternative is selected and its value is valid; strictly, a root alternative with a strictly valid value.
  bool isValid() const;
  bool isStrictlyValid() const;
  // Selects, with a default value, the alternative that a BER tag names (tagClass: the identifier's class bits 0x00,
  // 0x40, 0x80 or 0xC0); false, with id kUnknownExtension, when none does.
  bool setID(unsigned tagNumber, unsigned tagClass);

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;

 private:
  std::unique_ptr<AbstractData> choice_;
  int choiceID_;
};

}  // namespace ASN1
