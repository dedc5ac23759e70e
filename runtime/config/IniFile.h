#pragma once

#include "runtime/containers/F_dual_list.h"

#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <utility>

// The parsed INI configuration: sections, their appearances (subsections), keys and
// every occurrence of a key with its line, all in file order. Nothing is merged or
// dropped as a duplicate, so the typed reader can report duplicates by line.
namespace IniFile {

// Walks one level of the tree in file order; the end is the null element.
template <class T>
class GenericIterator {
 public:
  explicit GenericIterator(T* element = nullptr) : element_(element) {}

  T& operator*() const { return *element_; }
  T* operator->() const { return element_; }
  GenericIterator& operator++() {
    element_ = element_->next;
    return *this;
  }
  GenericIterator operator++(int) {
    GenericIterator old = *this;
    ++*this;
    return old;
  }
  bool operator!=(const GenericIterator& other) const { return element_ != other.element_; }
  bool operator==(const GenericIterator& other) const { return element_ == other.element_; }

 private:
  T* element_;
};

namespace Private {

// One level of the tree in file order; unlike the plain intrusive list it owns
// its elements.
template <class T>
class OwnedList {
 public:
  OwnedList() = default;
  OwnedList(const OwnedList&) = delete;
  OwnedList& operator=(const OwnedList&) = delete;
  ~OwnedList() { Clear(); }

  T& Append(std::unique_ptr<T> element) {
    T* appended = element.release();
    list_.insert_to_tail(appended);
    return *appended;
  }
  void Clear() {
    while (T* element = list_.remove_from_head()) {
      delete element;
    }
  }
  int GetCount() const { return static_cast<int>(list_.size()); }
  GenericIterator<T> begin() const { return GenericIterator<T>(list_.first()); }
  GenericIterator<T> end() const { return GenericIterator<T>(); }

 private:
  F_dual_list<T> list_;
};

}  // namespace Private

// One occurrence of a key with its value.
class SubKey : public F_dual_list_item<SubKey> {
 public:
  SubKey(std::string value, int line) : value_(std::move(value)), line_(line) {}

  const std::string& GetValue() const { return value_; }
  int GetLineNo() const { return line_; }

  // Each getter returns its argument when the text does not convert.
  bool GetBool(bool fallback) const;
  int GetInt(int fallback) const;
  float GetFloat(float fallback) const;
  void SetBool(bool value);
  void SetInt(int value);
  void SetFloat(float value);

  void Dump(std::ostream& out) const;

 private:
  std::string value_;
  int line_;
};

// A key of one subsection with all its occurrences.
class Key : public F_dual_list_item<Key> {
 public:
  explicit Key(std::string name) : name_(std::move(name)) {}

  const std::string& GetName() const { return name_; }
  int GetSubKeyCount() const { return sub_keys_.GetCount(); }
  GenericIterator<SubKey> begin() const { return sub_keys_.begin(); }
  GenericIterator<SubKey> end() const { return sub_keys_.end(); }

  SubKey& NewSubKey(std::string value, int line);
  // Gives a key that was never written one empty occurrence (line -1).
  void CheckEmpty();

  void Dump(std::ostream& out) const;

 private:
  std::string name_;
  Private::OwnedList<SubKey> sub_keys_;
};

// One appearance of a '[name]' header and the keys under it.
class SubSection : public F_dual_list_item<SubSection> {
 public:
  explicit SubSection(int line) : line_(line) {}

  // The line of the header; -1 for one made by Section::CheckEmpty.
  int GetLineNo() const { return line_; }
  int GetKeyCount() const { return keys_.GetCount(); }
  GenericIterator<Key> begin() const { return keys_.begin(); }
  GenericIterator<Key> end() const { return keys_.end(); }

  // The key of that name; a missing one is created without occurrences.
  Key& operator[](const std::string& name);
  SubKey& NewSubKey(const std::string& name, std::string value, int line);

  void Dump(std::ostream& out) const;

 private:
  int line_;
  Private::OwnedList<Key> keys_;
  std::map<std::string, Key*> by_name_;
};

// All appearances of one section name.
class Section : public F_dual_list_item<Section> {
 public:
  explicit Section(std::string name) : name_(std::move(name)) {}

  const std::string& GetName() const { return name_; }
  int GetSubSectionCount() const { return sub_sections_.GetCount(); }
  GenericIterator<SubSection> begin() const { return sub_sections_.begin(); }
  GenericIterator<SubSection> end() const { return sub_sections_.end(); }

  SubSection& NewSubSection(int line);
  // Gives a section that never appeared one empty subsection (line -1).
  void CheckEmpty();

  void Dump(std::ostream& out) const;

 private:
  std::string name_;
  Private::OwnedList<SubSection> sub_sections_;
};

// The whole file. A file that cannot be read leaves the tree empty; the parser
// itself never fails: malformed lines are skipped.
class File {
 public:
  File() = default;
  explicit File(const std::string& path);
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads and parses the file; false when it cannot be opened.
  bool Open(const std::string& path);
  void Close();
  void Sync() {}

  bool IsOpened() const { return opened_; }
  const std::string& GetFileName() const { return path_; }
  int GetSectionCount() const { return sections_.GetCount(); }
  GenericIterator<Section> begin() const { return sections_.begin(); }
  GenericIterator<Section> end() const { return sections_.end(); }

  // The section of that name; a missing one is created empty.
  Section& operator[](const std::string& name);

  void Dump(std::ostream& out) const;

  friend std::istream& operator>>(std::istream& in, File& file);

 private:
  void Parse(std::istream& in);
  void Clear();

  std::string path_;
  bool opened_ = false;
  Private::OwnedList<Section> sections_;
  std::map<std::string, Section*> by_name_;
};

std::istream& operator>>(std::istream& in, File& file);

}  // namespace IniFile
