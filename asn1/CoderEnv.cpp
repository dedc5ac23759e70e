#include "asn1/CoderEnv.h"

#include "asn1/AVNDecoder.h"
#include "asn1/AVNEncoder.h"
#include "asn1/BERDecoder.h"
#include "asn1/BEREncoder.h"
#include "asn1/PERDecoder.h"
#include "asn1/PEREncoder.h"

#include <sstream>

namespace ASN1 {
namespace {

// Every controller message fits, so a BER encode allocates once.
constexpr size_t kReservedOutput = 256;

}  // namespace

bool CoderEnv::encode(const AbstractData& value, std::vector<char>& output) {
  switch (encodingRule) {
    case per_Aligned:
      return encodePER(value, output);
    case ber:
      return encodeBER(value, output);
    case avn:
      return encodeAVN(value, output);
    default:
      return false;
  }
}

bool CoderEnv::encodeBER(const AbstractData& value, std::vector<char>& output) {
  std::vector<char> bytes;
  bytes.reserve(kReservedOutput);
  BEREncoder encoder(bytes);
  if (!value.accept(encoder)) {
    return false;
  }
  output.swap(bytes);
  return true;
}

// Written behind the old contents, so that a failure leaves them as they were and an output with room (an empty
// one, as callers mostly pass) allocates nothing.
bool CoderEnv::encodePER(const AbstractData& value, std::vector<char>& output) {
  const auto old_size = static_cast<std::ptrdiff_t>(output.size());
  PEREncoder encoder(output);
  if (!value.accept(encoder)) {
    output.resize(static_cast<size_t>(old_size));
    return false;
  }
  output.erase(output.begin(), output.begin() + old_size);
  return true;
}

bool CoderEnv::encodeAVN(const AbstractData& value, std::vector<char>& output) {
  std::ostringstream text;
  if (value.print_on(text) != 0) {
    return false;
  }
  const std::string result = text.str();
  output.assign(result.begin(), result.end());
  return true;
}

bool CoderEnv::decode(const char* begin, const char* end, AbstractData& value, bool noEnv) {
  if (begin > end) {
    return false;
  }
  CoderEnv* nested = noEnv ? nullptr : this;
  switch (encodingRule) {
    case per_Aligned: {
      PERDecoder decoder(begin, end, nested);
      return value.accept(decoder);
    }
    case ber: {
      BERDecoder decoder(begin, end, nested);
      return value.accept(decoder);
    }
    case avn: {
      std::istringstream text(std::string(begin, end));
      AVNDecoder decoder(text);
      return value.accept(decoder);
    }
    default:
      return false;
  }
}

}  // namespace ASN1
