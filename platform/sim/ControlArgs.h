#pragma once

#include "platform/sim/Driver.h"
#include "platform/sim/LineImpairments.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// The arguments of one control command, taken in order. The first that is
// missing, malformed or out of range becomes the command's refusal, which says
// what is wrong with it; every take after that gives nothing. So a command
// takes all its arguments and then checks Refused() once.
class ControlArgs {
 public:
  // usage names the command and its arguments ("cable <line> <line>"); it is
  // the refusal when fewer than least or more than most arguments came.
  ControlArgs(const std::vector<std::string>& args, std::string usage, size_t least, size_t most);
  ControlArgs(const std::vector<std::string>& args, std::string usage, size_t count)
      : ControlArgs(args, std::move(usage), count, count) {}

  // Arguments not taken yet; none once refused.
  size_t Left() const;
  // Decimal or 0x-hexadecimal, from min to max.
  std::optional<unsigned long> Number(const char* name, unsigned long min, unsigned long max);
  std::optional<int> Int(const char* name, int min, int max);
  std::optional<uint32_t> Word32(const char* name);
  // Whole pairs of hex digits, one byte at least.
  std::optional<std::vector<uint8_t>> Bytes(const char* name);
  // on or off.
  std::optional<bool> OnOff(const char* name);
  // One of the words: its place among them.
  std::optional<size_t> Word(const char* name, std::initializer_list<const char*> words);
  // An errno by its name (EIO) or number.
  std::optional<int> Errno(const char* name);
  // A dotted quad, in network byte order.
  std::optional<uint32_t> Address(const char* name);
  // The next argument as written.
  std::optional<std::string> Text();
  // <drop every> <duplicate every> cut|through, as an impair command gives them.
  std::optional<LineImpairments> Impairments();

  // Refuses the argument taken last, as name, for a check of the caller's.
  void Refuse(const char* name, const std::string& why);
  bool Refused() const { return refusal_.has_value(); }
  // The refusal: "usage: ..." or "bad <name> <argument>: <what is wrong>".
  Reply Refusal() const;

 private:
  const std::string* Next();

  const std::vector<std::string>& args_;
  size_t next_ = 0;
  std::optional<std::string> refusal_;
};

}  // namespace sim
