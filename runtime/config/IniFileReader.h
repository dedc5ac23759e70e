#pragma once

#include "runtime/config/IniFile.h"

#include <cstring>
#include <iosfwd>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace IniFile {

// One entry of a name table of an enumeration key; a null name ends the table.
template <class T>
struct Symbol {
  const char* name;
  T value;
};

namespace Private {

// The binding of one key to a variable of the caller.
class KeyValue {
 public:
  explicit KeyValue(const char* name) : name_(name) {}
  KeyValue(const KeyValue&) = delete;
  KeyValue& operator=(const KeyValue&) = delete;
  virtual ~KeyValue() = default;

  virtual const char* name() const { return name_; }
  // True when the text converted and the variable was written; a failure leaves it as it was.
  [[nodiscard]] virtual bool do_parse(const char* text) = 0;

  // Whether the key was given once with a valid value.
  bool present = false;

 private:
  const char* name_;
};

// The integer a whole text spells, read as strtol with base 0 reads it.
std::optional<long> ParseInteger(const char* text);

// An enumeration: a name of the table, else any integer the type can hold.
template <class T>
class TKeyValue : public KeyValue {
  static_assert(std::is_enum<T>::value, "bound keys are bool, std::string or an enumeration");

 public:
  TKeyValue(T* target, const char* name, const Symbol<T>* table) : KeyValue(name), target_(target), table_(table) {}

  bool do_parse(const char* text) override {
    for (const Symbol<T>* symbol = table_; symbol != nullptr && symbol->name != nullptr; ++symbol) {
      if (std::strcmp(symbol->name, text) == 0) {
        *target_ = symbol->value;
        return true;
      }
    }
    std::optional<long> number = ParseInteger(text);
    if (!number || !FitsUnderlyingType(*number)) {
      return false;
    }
    *target_ = static_cast<T>(*number);
    return true;
  }

 private:
  // A number the enumeration cannot hold would come out as some other value.
  static bool FitsUnderlyingType(long number) {
    using Underlying = std::underlying_type_t<T>;
    if constexpr (std::is_signed<Underlying>::value) {
      return number >= static_cast<long>(std::numeric_limits<Underlying>::min()) &&
             number <= static_cast<long>(std::numeric_limits<Underlying>::max());
    } else {
      return number >= 0 && static_cast<unsigned long>(number) <= std::numeric_limits<Underlying>::max();
    }
  }

  T* target_;
  const Symbol<T>* table_;
};

// A switch; the accepted words are fixed, so a name table is ignored.
template <>
class TKeyValue<bool> : public KeyValue {
 public:
  TKeyValue(bool* target, const char* name, const Symbol<bool>* /*table*/) : KeyValue(name), target_(target) {}
  bool do_parse(const char* text) override;

 private:
  bool* target_;
};

// Free text, taken as it stands (possibly empty).
template <>
class TKeyValue<std::string> : public KeyValue {
 public:
  TKeyValue(std::string* target, const char* name, const Symbol<std::string>* /*table*/)
      : KeyValue(name), target_(target) {}
  bool do_parse(const char* text) override;

 private:
  std::string* target_;
};

}  // namespace Private

// Reads one subsection into the caller's variables. Every key must occur once;
// each fault is written to the log stream with its line numbers. A fault in a
// required key makes the subsection unusable, one in an optional key drops that key.
class Reader {
 public:
  // The bindings of one kind of key, in the order they were added.
  class Field {
   public:
    // Binds a key to target; the flag returned tells after parse whether the key
    // was given with a valid value, and lives as long as the reader.
    template <class T>
    bool& add(T* target, const char* name, const Symbol<T>* table = nullptr) {
      return add(std::make_unique<Private::TKeyValue<T>>(target, name, table));
    }
    bool& add(std::unique_ptr<Private::KeyValue> binding);

   private:
    friend class Reader;
    std::vector<std::unique_ptr<Private::KeyValue>> bindings_;
  };

  Reader(std::string prefix, std::ostream& log) : prefix_(std::move(prefix)), log_(&log) {}

  // True when every required key occurs exactly once with a valid value. Looking a
  // key up creates it, without occurrences, in the subsection.
  [[nodiscard]] bool parse(SubSection& sub_section);

  Field required;
  Field optional;

 private:
  enum class Kind { kRequired, kOptional };

  bool ParseKey(Private::KeyValue& binding, SubSection& sub_section, Kind kind);
  void WriteInvalid(const Private::KeyValue& binding, const SubKey& occurrence, Kind kind);
  void WriteDuplicated(const Private::KeyValue& binding, const Key& key, Kind kind);
  void WriteMoreThanTwice(const Private::KeyValue& binding, const Key& key, Kind kind);
  std::ostream& StartLine(const Private::KeyValue& binding, Kind kind);

  std::string prefix_;
  std::ostream* log_;
};

}  // namespace IniFile
