#pragma once

#include "asn1/AbstractData.h"

#include <string>

namespace ASN1 {

// GeneralizedTime as broken-down fields; mindiff is the offset from UTC in minutes.
class GeneralizedTime : public AbstractData {
 public:
  static const TypeInfo theInfo;
  static AbstractData* create(const TypeInfo* info);

  explicit GeneralizedTime(const TypeInfo* info = &theInfo) : AbstractData(info) {}
  explicit GeneralizedTime(const char* text);
  GeneralizedTime(int year, int month, int day, int hour, int minute, int second, int millisec, int mindiff, bool utc);

  // "YYYYMMDDhhmmss", then ".fff" when millisec is not 0, then "Z" when utc, else "+hhmm"/"-hhmm" when mindiff is
  // not 0.
  std::string get() const;
  // Reads that form (any fraction length); false, leaving the fields alone, when the text does not have it.
  bool set(const char* text);
  long get_time_t() const;
  void set_time_t(long seconds);
  // Every field within its calendar range; the offset within twelve hours either way.
  bool isStrictlyValid() const;

  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisec = 0, mindiff = 0;
  bool utc = false;

  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& visitor) override;
  bool do_accept(ConstVisitor& visitor) const override;
};

}  // namespace ASN1
