#include "asn1/GeneralizedTime.h"

#include "asn1/Visitor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace ASN1 {
namespace {

// Reads `count` decimal digits; false when any is missing.
bool ReadDigits(const char*& text, int count, int& value) {
  int result = 0;
  for (int i = 0; i < count; ++i, ++text) {
    if (*text < '0' || *text > '9') {
      return false;
    }
    result = result * 10 + (*text - '0');
  }
  value = result;
  return true;
}

}  // namespace

const TypeInfo GeneralizedTime::theInfo = {&GeneralizedTime::create, kUniversalGeneralizedTime};

AbstractData* GeneralizedTime::create(const TypeInfo* info) {
  return new GeneralizedTime(info);
}

GeneralizedTime::GeneralizedTime(const char* text) : AbstractData(&theInfo) {
  static_cast<void>(set(text));
}

GeneralizedTime::GeneralizedTime(int year, int month, int day, int hour, int minute, int second, int millisec,
                                 int mindiff, bool utc)
    : AbstractData(&theInfo),
      year(year),
      month(month),
      day(day),
      hour(hour),
      minute(minute),
      second(second),
      millisec(millisec),
      mindiff(mindiff),
      utc(utc) {}

std::string GeneralizedTime::get() const {
  // Room for every field at its widest (11 characters for INT_MIN): 6 * 11 + 12 + 11 + 1, so nothing is cut.
  char text[96];
  int length = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
  if (millisec != 0) {
    length += std::snprintf(text + length, sizeof text - length, ".%03d", millisec);
  }
  if (utc) {
    length += std::snprintf(text + length, sizeof text - length, "Z");
  } else if (mindiff != 0) {
    // In 64 bits, since INT_MIN has no 32-bit magnitude.
    const long long magnitude = std::llabs(mindiff);
    std::snprintf(text + length, sizeof text - length, "%c%02lld%02lld", mindiff < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
  }
  return text;
}

bool GeneralizedTime::set(const char* text) {
  GeneralizedTime parsed;
  if (!ReadDigits(text, 4, parsed.year) || !ReadDigits(text, 2, parsed.month) || !ReadDigits(text, 2, parsed.day) ||
      !ReadDigits(text, 2, parsed.hour) || !ReadDigits(text, 2, parsed.minute) || !ReadDigits(text, 2, parsed.second)) {
    return false;
  }
  if (*text == '.') {
    ++text;
    int scale = 100;
    for (; *text >= '0' && *text <= '9'; ++text, scale /= 10) {
      parsed.millisec += (*text - '0') * scale;
    }
  }
  if (*text == 'Z') {
    parsed.utc = true;
    ++text;
  } else if (*text == '+' || *text == '-') {
    const int sign = *text++ == '-' ? -1 : 1;
    int hours = 0;
    int minutes = 0;
    if (!ReadDigits(text, 2, hours) || !ReadDigits(text, 2, minutes)) {
      return false;
    }
    parsed.mindiff = sign * (hours * 60 + minutes);
  }
  if (*text != '\0') {
    return false;
  }
  year = parsed.year;
  month = parsed.month;
  day = parsed.day;
  hour = parsed.hour;
  minute = parsed.minute;
  second = parsed.second;
  millisec = parsed.millisec;
  mindiff = parsed.mindiff;
  utc = parsed.utc;
  return true;
}

long GeneralizedTime::get_time_t() const {
  std::tm broken_down{};
  broken_down.tm_year = year - 1900;
  broken_down.tm_mon = month - 1;
  broken_down.tm_mday = day;
  broken_down.tm_hour = hour;
  broken_down.tm_min = minute;
  broken_down.tm_sec = second;
  broken_down.tm_isdst = -1;
  return static_cast<long>(std::mktime(&broken_down));
}

void GeneralizedTime::set_time_t(long seconds) {
  const std::time_t time = seconds;
  std::tm broken_down{};
  gmtime_r(&time, &broken_down);
  year = broken_down.tm_year + 1900;
  month = broken_down.tm_mon + 1;
  day = broken_down.tm_mday;
  hour = broken_down.tm_hour;
  minute = broken_down.tm_min;
  second = broken_down.tm_sec;
}

bool GeneralizedTime::isStrictlyValid() const {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 && hour <= 24 && minute >= 0 &&
         minute <= 59 && second >= 0 && second <= 59 && mindiff >= -720 && mindiff <= 720;
}

int GeneralizedTime::do_compare(const AbstractData& data) const {
  const GeneralizedTime& other = *boost::polymorphic_downcast<const GeneralizedTime*>(&data);
  const int mine[] = {year, month, day, hour, minute, second, millisec, mindiff};
  const int theirs[] = {other.year,   other.month,  other.day,      other.hour,
                        other.minute, other.second, other.millisec, other.mindiff};
  for (size_t i = 0; i < sizeof mine / sizeof mine[0]; ++i) {
    if (mine[i] != theirs[i]) {
      return mine[i] < theirs[i] ? -1 : 1;
    }
  }
  return int{utc} - int{other.utc};
}

AbstractData* GeneralizedTime::do_clone() const {
  GeneralizedTime* copy = CreateSameType(*this);
  *copy = *this;
  return copy;
}

bool GeneralizedTime::do_accept(Visitor& visitor) {
  return visitor.do_visit(*this);
}
bool GeneralizedTime::do_accept(ConstVisitor& visitor) const {
  return visitor.do_visit(*this);
}

}  // namespace ASN1
