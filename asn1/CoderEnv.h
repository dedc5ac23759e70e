#pragma once

#include "asn1/AbstractData.h"

#include <loki/AssocVector.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace ASN1 {

// Chooses the encoding rules of one encode or decode call; callers build one on the stack.
class CoderEnv {
 public:
  enum EncodingRule : int { avn = 0, ber = 1, per_Aligned = 2 };

  explicit CoderEnv(int rule = per_Aligned) : encodingRule(rule) {}

  // The value's encoding in the chosen rules into `output`; false, with `output` untouched, on failure.
  bool encode(const AbstractData& value, std::vector<char>& output);
  // noEnv: nested decoders run without this environment.
  bool decode(const char* begin, const char* end, AbstractData& value, bool noEnv);

  int encodingRule;
  Loki::AssocVector<std::string, const TypeInfo*> modules;  // modules by name, for decoders that need them

 private:
  bool encodePER(const AbstractData& value, std::vector<char>& output);
  bool encodeBER(const AbstractData& value, std::vector<char>& output);
  bool encodeAVN(const AbstractData& value, std::vector<char>& output);
};

// The buffer each encode call of a thread writes into first; it keeps its room from call to call.
inline std::vector<char>& EncodeScratch() {
  thread_local std::vector<char> bytes;
  bytes.clear();
  return bytes;
}

// The coding entry points. encode appends to `out` (a back-inserter into a byte vector) only on success.
template <class OutputIterator>
bool encode(const AbstractData& value, CoderEnv* env, OutputIterator out) {
  std::vector<char>& bytes = EncodeScratch();
  if (env == nullptr || !env->encode(value, bytes)) {
    return false;
  }
  std::copy(bytes.begin(), bytes.end(), out);
  return true;
}

// Into a byte vector: appended in one insertion rather than byte by byte.
inline bool encode(const AbstractData& value, CoderEnv* env, std::back_insert_iterator<std::vector<char>> out) {
  // The standard keeps the vector a back-inserter appends to as a protected member.
  struct Target : std::back_insert_iterator<std::vector<char>> {
    explicit Target(std::back_insert_iterator<std::vector<char>> inserter) : back_insert_iterator(inserter) {}
    std::vector<char>& vector() const { return *container; }
  };
  std::vector<char>& bytes = EncodeScratch();
  if (env == nullptr || !env->encode(value, bytes)) {
    return false;
  }
  std::vector<char>& target = Target(out).vector();
  target.insert(target.end(), bytes.begin(), bytes.end());
  return true;
}

inline bool decode(const char* begin, const char* end, CoderEnv* env, AbstractData& value, bool noEnv) {
  return env != nullptr && env->decode(begin, end, value, noEnv);
}

}  // namespace ASN1
