#include "platform/sim/ControlArgs.h"

#include <arpa/inet.h>

#include <cassert>
#include <utility>

namespace sim {

ControlArgs::ControlArgs(const std::vector<std::string>& args, std::string usage, size_t least, size_t most)
    : args_(args) {
  if (args.size() < least || args.size() > most) {
    refusal_ = "usage: " + usage;
  }
}

size_t ControlArgs::Left() const {
  return Refused() ? 0 : args_.size() - next_;
}

const std::string* ControlArgs::Next() {
  return Left() == 0 ? nullptr : &args_[next_++];
}

void ControlArgs::Refuse(const char* name, const std::string& why) {
  assert(next_ > 0 && "a refusal names an argument taken");
  if (!Refused()) {
    refusal_ = "bad " + std::string(name) + " " + args_[next_ - 1] + ": " + why;
  }
}

Reply ControlArgs::Refusal() const {
  return Reply{false, refusal_.value_or("")};
}

std::optional<unsigned long> ControlArgs::Number(const char* name, unsigned long min, unsigned long max) {
  const std::string* argument = Next();
  if (argument == nullptr) {
    return std::nullopt;
  }
  const std::optional<unsigned long> number = ParseNumber(*argument);
  if (!number) {
    Refuse(name, "not a number");
    return std::nullopt;
  }
  if (*number < min || *number > max) {
    Refuse(name, "out of range " + std::to_string(min) + "-" + std::to_string(max));
    return std::nullopt;
  }
  return number;
}

std::optional<int> ControlArgs::Int(const char* name, int min, int max) {
  assert(min >= 0 && min <= max && "counts and channels are never negative");
  const std::optional<unsigned long> number =
      Number(name, static_cast<unsigned long>(min), static_cast<unsigned long>(max));
  return number ? std::optional<int>(static_cast<int>(*number)) : std::nullopt;
}

std::optional<uint32_t> ControlArgs::Word32(const char* name) {
  const std::optional<unsigned long> number = Number(name, 0, UINT32_MAX);
  return number ? std::optional<uint32_t>(static_cast<uint32_t>(*number)) : std::nullopt;
}

std::optional<std::vector<uint8_t>> ControlArgs::Bytes(const char* name) {
  const std::string* argument = Next();
  if (argument == nullptr) {
    return std::nullopt;
  }
  std::optional<std::vector<uint8_t>> bytes = ParseHex(*argument);
  if (!bytes || bytes->empty()) {
    Refuse(name, "not whole pairs of hex digits");
    return std::nullopt;
  }
  return bytes;
}

std::optional<bool> ControlArgs::OnOff(const char* name) {
  const std::optional<size_t> word = Word(name, {"on", "off"});
  return word ? std::optional<bool>(*word == 0) : std::nullopt;
}

std::optional<size_t> ControlArgs::Word(const char* name, std::initializer_list<const char*> words) {
  const std::string* argument = Next();
  if (argument == nullptr) {
    return std::nullopt;
  }
  std::string choices;
  size_t place = 0;
  for (const char* word : words) {
    if (*argument == word) {
      return place;
    }
    choices += (place++ == 0 ? "" : "|") + std::string(word);
  }
  Refuse(name, "not " + choices);
  return std::nullopt;
}

std::optional<int> ControlArgs::Errno(const char* name) {
  const std::string* argument = Next();
  if (argument == nullptr) {
    return std::nullopt;
  }
  const std::optional<int> error = ParseErrno(*argument);
  if (!error) {
    Refuse(name, "not an errno name or number 1-4095");
  }
  return error;
}

std::optional<uint32_t> ControlArgs::Address(const char* name) {
  const std::string* argument = Next();
  if (argument == nullptr) {
    return std::nullopt;
  }
  in_addr address{};
  if (inet_pton(AF_INET, argument->c_str(), &address) != 1) {
    Refuse(name, "not a dotted quad");
    return std::nullopt;
  }
  return address.s_addr;
}

std::optional<std::string> ControlArgs::Text() {
  const std::string* argument = Next();
  return argument == nullptr ? std::nullopt : std::optional<std::string>(*argument);
}

std::optional<LineImpairments> ControlArgs::Impairments() {
  const std::optional<uint32_t> drop_every = Word32("drop every");
  const std::optional<uint32_t> duplicate_every = Word32("duplicate every");
  const std::optional<size_t> mode = Word("mode", {"through", "cut"});
  if (Refused()) {
    return std::nullopt;
  }
  return LineImpairments{*drop_every, *duplicate_every, *mode == 1};
}

}  // namespace sim
