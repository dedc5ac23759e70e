#include "runtime/config/IniFileReader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace IniFile {
namespace Private {
namespace {

const Symbol<bool> kBoolWords[] = {
    {"true", true},   {"false", false},   {"yes", true}, {"no", false}, {"enabled", true}, {"disabled", false},
    {"enable", true}, {"disable", false}, {"1", true},   {"0", false},  {nullptr, false},
};

}  // namespace

std::optional<long> ParseInteger(const char* text) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 0);
  // strtol clamps what it cannot hold; a clamped number is not the one written.
  if (end == text || *end != '\0' || errno == ERANGE) {
    return std::nullopt;
  }
  return value;
}

bool TKeyValue<bool>::do_parse(const char* text) {
  for (const Symbol<bool>* word = kBoolWords; word->name != nullptr; ++word) {
    if (std::strcmp(word->name, text) == 0) {
      *target_ = word->value;
      return true;
    }
  }
  return false;
}

bool TKeyValue<std::string>::do_parse(const char* text) {
  *target_ = text;
  return true;
}

}  // namespace Private

bool& Reader::Field::add(std::unique_ptr<Private::KeyValue> binding) {
  bindings_.push_back(std::move(binding));
  return bindings_.back()->present;
}

bool Reader::parse(SubSection& sub_section) {
  for (const auto& binding : required.bindings_) {
    if (!ParseKey(*binding, sub_section, Kind::kRequired)) {
      return false;
    }
  }
  for (const auto& binding : optional.bindings_) {
    binding->present = false;
    static_cast<void>(ParseKey(*binding, sub_section, Kind::kOptional));
  }
  return true;
}

bool Reader::ParseKey(Private::KeyValue& binding, SubSection& sub_section, Kind kind) {
  const Key& key = sub_section[binding.name()];
  switch (key.GetSubKeyCount()) {
    case 0:
      if (kind == Kind::kRequired) {
        *log_ << prefix_ << "required key \"" << binding.name() << "\" not present, line " << sub_section.GetLineNo()
              << std::endl;
      }
      return false;
    case 1: {
      const SubKey& occurrence = *key.begin();
      binding.present = binding.do_parse(occurrence.GetValue().c_str());
      if (!binding.present) {
        WriteInvalid(binding, occurrence, kind);
      }
      return binding.present;
    }
    case 2:
      WriteDuplicated(binding, key, kind);
      return false;
    default:
      WriteMoreThanTwice(binding, key, kind);
      return false;
  }
}

std::ostream& Reader::StartLine(const Private::KeyValue& binding, Kind kind) {
  return *log_ << prefix_ << (kind == Kind::kRequired ? "required key " : "optional key ") << '"' << binding.name()
               << '"';
}

void Reader::WriteInvalid(const Private::KeyValue& binding, const SubKey& occurrence, Kind kind) {
  StartLine(binding, kind) << " has invalid value=\"" << occurrence.GetValue() << "\", line " << occurrence.GetLineNo()
                           << (kind == Kind::kOptional ? ". Key will be ignored." : "") << std::endl;
}

void Reader::WriteDuplicated(const Private::KeyValue& binding, const Key& key, Kind kind) {
  auto occurrence = key.begin();
  StartLine(binding, kind) << " is duplicated!" << std::endl;
  *log_ << prefix_ << " first occurence at " << occurrence->GetLineNo() << " line." << std::endl;
  ++occurrence;
  *log_ << prefix_ << " second occurence at " << occurrence->GetLineNo()
        << (kind == Kind::kOptional ? " line. Both keys will be ignored." : " line.") << std::endl;
}

void Reader::WriteMoreThanTwice(const Private::KeyValue& binding, const Key& key, Kind kind) {
  std::ostream& out = StartLine(binding, kind) << " specified more than once:";
  for (const SubKey& occurrence : key) {
    out << ' ' << occurrence.GetLineNo();
  }
  out << (kind == Kind::kOptional ? " lines. All keys will be ignored." : " lines") << std::endl;
}

}  // namespace IniFile
