#pragma once

#include <iosfwd>

// What one build of the program is. Only the tag is shown to the outside: in the
// start-up line, the status dump, the syslog identity and the monitoring report.
class Version {
 public:
  // Any number may arrive here, so the type holds every int.
  enum Type : int { snapshot = 0, test = 1, release = 2, unit_test = 3 };

  // Constant, so the record is ready before any other static initialisation reads it.
  constexpr Version(Type type, int number, const char* name, const char* builder, const char* date, const char* tag,
                    const char* arch)
      : type(type), number(number), name(name), builder(builder), date(date), tag(tag), arch(arch) {
    update();
  }

  // Writes the tag alone.
  void put(std::ostream& out) const;

  static const char* version_string(Type type);
  static const char* version_suffix(Type type);

  // The running build.
  static const Version current;

  // Static texts; the record owns nothing.
  const Type type;
  const int number;
  const char* const name;
  const char* const builder;
  // "yyyy-mm-dd hh:mm".
  const char* const date;
  const char* const tag;
  const char* const arch;

 private:
  constexpr void update() {}
};

std::ostream& operator<<(std::ostream& out, Version::Type type);
