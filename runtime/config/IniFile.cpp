#include "runtime/config/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <utility>

namespace IniFile {
namespace {

// Builds the tree one byte at a time. A comment is skipped up to its newline,
// which the state current at the '#' then handles like any other newline.
class Parser {
 public:
  explicit Parser(File& file) : file_(file) {}

  void Feed(char c) {
    if (c == '\r') {
      return;
    }
    if (in_comment_ && c != '\n') {
      return;
    }
    in_comment_ = false;
    Step(c);
    if (c == '\n') {
      ++line_;
    }
  }

  // A pair still being read is complete at the end of the input; an unclosed
  // header or a key without '=' is not.
  void Finish() {
    if (state_ == State::kBeforeValue || state_ == State::kValue) {
      StorePair();
    }
  }

 private:
  enum class State { kOutside, kHeader, kAfterHeader, kLineStart, kKey, kBeforeValue, kValue };

  void Step(char c) {
    switch (state_) {
      case State::kOutside:
        return StepOutside(c);
      case State::kHeader:
        return StepHeader(c);
      case State::kAfterHeader:
        return StepAfterHeader(c);
      case State::kLineStart:
        return StepLineStart(c);
      case State::kKey:
        return StepKey(c);
      case State::kBeforeValue:
        return StepBeforeValue(c);
      case State::kValue:
        return StepValue(c);
    }
  }

  void StepOutside(char c) {
    if (c == '#') {
      in_comment_ = true;
    } else if (c == '[') {
      StartHeader();
    }
  }

  void StepHeader(char c) {
    if (c == '\n') {
      state_ = State::kOutside;
    } else if (c == ']') {
      current_ = &file_[text_].NewSubSection(line_);
      state_ = State::kAfterHeader;
    } else {
      text_ += c;
    }
  }

  void StepAfterHeader(char c) {
    if (c == '\n') {
      state_ = State::kLineStart;
    } else if (c == '#') {
      in_comment_ = true;
    }
  }

  void StepLineStart(char c) {
    if (c == '#') {
      in_comment_ = true;
    } else if (c == '[') {
      StartHeader();
    } else if (c != ' ' && c != '\t' && c != '\n') {
      key_.assign(1, c);
      blanks_ = 0;
      state_ = State::kKey;
    }
  }

  void StepKey(char c) {
    if (c == ' ') {
      ++blanks_;
    } else if (c == '=') {
      text_.clear();
      blanks_ = 0;
      state_ = State::kBeforeValue;
    } else if (c == '\n') {
      key_.clear();
      blanks_ = 0;
      state_ = State::kLineStart;
    } else {
      AppendWithBlanks(key_, c);
    }
  }

  void StepBeforeValue(char c) {
    if (c == ' ') {
      return;
    }
    if (c == '#') {
      in_comment_ = true;
    } else if (c == '\n') {
      StorePair();
      state_ = State::kLineStart;
    } else {
      text_.assign(1, c);
      blanks_ = 0;
      state_ = State::kValue;
    }
  }

  void StepValue(char c) {
    if (c == ' ') {
      ++blanks_;
    } else if (c == '#' && blanks_ > 0) {
      in_comment_ = true;
      blanks_ = 0;
    } else if (c == '\n') {
      StorePair();
      blanks_ = 0;
      state_ = State::kLineStart;
    } else {
      AppendWithBlanks(text_, c);
    }
  }

  void StartHeader() {
    text_.clear();
    state_ = State::kHeader;
  }

  // Blanks count only when something follows them on the line.
  void AppendWithBlanks(std::string& text, char c) {
    text.append(blanks_, ' ');
    blanks_ = 0;
    text += c;
  }

  void StorePair() {
    current_->NewSubKey(key_, text_, line_);
    key_.clear();
  }

  File& file_;
  State state_ = State::kOutside;
  bool in_comment_ = false;
  int line_ = 1;
  size_t blanks_ = 0;
  // The header text, or the value text once a key has its '='.
  std::string text_;
  std::string key_;
  SubSection* current_ = nullptr;
};

}  // namespace

bool SubKey::GetBool(bool fallback) const {
  if (value_ == "true" || value_ == "yes" || value_ == "1" || value_ == "on") {
    return true;
  }
  if (value_ == "false" || value_ == "no" || value_ == "0" || value_ == "off") {
    return false;
  }
  return fallback;
}

int SubKey::GetInt(int fallback) const {
  const char* begin = value_.c_str();
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(begin, &end, 10);
  // A number beyond int is no int: the caller's fallback is safer than a wrapped value.
  if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) {
    return fallback;
  }
  return static_cast<int>(value);
}

float SubKey::GetFloat(float fallback) const {
  const char* begin = value_.c_str();
  char* end = nullptr;
  float value = std::strtof(begin, &end);
  return end == begin ? fallback : value;
}

void SubKey::SetBool(bool value) {
  value_ = value ? "yes" : "no";
}

void SubKey::SetInt(int value) {
  value_ = std::to_string(value);
}

void SubKey::SetFloat(float value) {
  std::ostringstream text;
  text << value;
  value_ = text.str();
}

void SubKey::Dump(std::ostream& out) const {
  out << "dumping IniFile::SubKey\n"
      << "mValue=\"" << value_ << "\"\n"
      << "mLineNo=" << line_ << '\n';
}

SubKey& Key::NewSubKey(std::string value, int line) {
  return sub_keys_.Append(std::make_unique<SubKey>(std::move(value), line));
}

void Key::CheckEmpty() {
  if (sub_keys_.GetCount() == 0) {
    NewSubKey(std::string(), -1);
  }
}

void Key::Dump(std::ostream& out) const {
  out << "dumping IniFile::Key\n"
      << "mName=\"" << name_ << "\"\n"
      << "mSubKeyCount=" << sub_keys_.GetCount() << '\n';
  for (const SubKey& sub_key : sub_keys_) {
    sub_key.Dump(out);
  }
}

Key& SubSection::operator[](const std::string& name) {
  Key*& key = by_name_[name];
  if (key == nullptr) {
    key = &keys_.Append(std::make_unique<Key>(name));
  }
  return *key;
}

SubKey& SubSection::NewSubKey(const std::string& name, std::string value, int line) {
  return (*this)[name].NewSubKey(std::move(value), line);
}

void SubSection::Dump(std::ostream& out) const {
  out << "dumping IniFile::SubSection\n"
      << "mLineNo=\"" << line_ << "\"\n"
      << "mKeyCount=" << keys_.GetCount() << '\n';
  for (const Key& key : keys_) {
    key.Dump(out);
  }
}

SubSection& Section::NewSubSection(int line) {
  return sub_sections_.Append(std::make_unique<SubSection>(line));
}

void Section::CheckEmpty() {
  if (sub_sections_.GetCount() == 0) {
    NewSubSection(-1);
  }
}

void Section::Dump(std::ostream& out) const {
  out << "dumping IniFile::Section\n"
      << "mName=\"" << name_ << "\"\n"
      << "mSubSectionCount=" << sub_sections_.GetCount() << '\n';
  for (const SubSection& sub_section : sub_sections_) {
    sub_section.Dump(out);
  }
}

File::File(const std::string& path) {
  // A missing file is not an error here: the caller asks IsOpened.
  static_cast<void>(Open(path));
}

bool File::Open(const std::string& path) {
  Close();
  path_ = path;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) {
    return false;
  }
  Parse(in);
  // A path that opens but cannot be read to its end (a directory, an I/O
  // error) is unreadable: no half-built tree is kept.
  if (in.bad()) {
    Clear();
    return false;
  }
  opened_ = true;
  return true;
}

void File::Close() {
  if (!opened_) {
    return;
  }
  Clear();
  opened_ = false;
}

void File::Clear() {
  by_name_.clear();
  sections_.Clear();
}

Section& File::operator[](const std::string& name) {
  Section*& section = by_name_[name];
  if (section == nullptr) {
    section = &sections_.Append(std::make_unique<Section>(name));
  }
  return *section;
}

void File::Dump(std::ostream& out) const {
  out << "dumping IniFile::File\n"
      << "mFileName=\"" << path_ << "\"\n"
      << '\n'
      << "mSectionCount=" << sections_.GetCount() << '\n';
  for (const Section& section : sections_) {
    section.Dump(out);
  }
}

void File::Parse(std::istream& in) {
  Parser parser(*this);
  // get() turns a read error of the stream buffer (which throws for a
  // directory) into the stream's bad state instead of an exception.
  for (char c = 0; in.get(c);) {
    parser.Feed(c);
  }
  parser.Finish();
}

std::istream& operator>>(std::istream& in, File& file) {
  file.Close();
  file.path_.clear();
  file.Parse(in);
  file.opened_ = true;
  return in;
}

}  // namespace IniFile
