#include "runtime/config/Version.h"

#include <ostream>

// The build stamps the running build; the tag is the build date as yymmdd-hhmm
// behind the letter of its kind.
constexpr Version Version::current(Version::snapshot, 0, "", GW_BUILDER, "2025-01-24 19:01", "T250124-1901", "ppc");

void Version::put(std::ostream& out) const {
  out << tag;
}

const char* Version::version_string(Type type) {
  switch (type) {
    case snapshot:
      return "snapshot";
    case test:
      return "test";
    case release:
      return "release";
    case unit_test:
      return "unit-test";
  }
  return "unknown";
}

const char* Version::version_suffix(Type type) {
  switch (type) {
    case snapshot:
      return "S";
    case test:
    case unit_test:
      return "T";
    case release:
      return "R";
  }
  return "U";
}

std::ostream& operator<<(std::ostream& out, Version::Type type) {
  return out << Version::version_string(type);
}
