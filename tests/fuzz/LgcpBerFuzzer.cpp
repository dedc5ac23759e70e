// Decodes arbitrary bytes as a controller message in BER. Whatever decodes and encodes again must decode to an
// equal value and encode to the same bytes; nothing may be read outside the input.

#include "schemas/LGCP.h"

#include "asn1/CoderEnv.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

bool Decode(const std::vector<char>& bytes, LGCP::Message& message) {
  ASN1::CoderEnv env(ASN1::CoderEnv::ber);
  return ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, message, true);
}

bool Encode(const LGCP::Message& message, std::vector<char>& bytes) {
  ASN1::CoderEnv env(ASN1::CoderEnv::ber);
  return ASN1::encode(message, &env, std::back_inserter(bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<char> input(data, data + size);
  LGCP::Message message;
  if (!Decode(input, message)) {
    return 0;
  }
  static_cast<void>(message.asValueNotation());
  std::vector<char> encoded;
  if (!Encode(message, encoded)) {
    return 0;  // a mandatory CHOICE whose tag was absent keeps its empty default, which has no encoding
  }
  LGCP::Message again;
  std::vector<char> reencoded;
  if (!Decode(encoded, again) || again.compare(message) != 0 || !Encode(again, reencoded) || reencoded != encoded) {
    std::abort();
  }
  return 0;
}
