// Reads arbitrary text as a controller message in value notation. Whatever reads and prints must read back from
// its printed text to an equal value that prints the same; nothing may be read outside the input.

#include "schemas/LGCP.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LGCP::Message message;
  if (!message.setFromValueNotation(std::string(data, data + size))) {
    return 0;
  }
  std::string text = message.asValueNotation();
  if (text.find(ASN1::AbstractData::kPrintFailedMarker) != std::string::npos) {
    return 0;  // a mandatory CHOICE left out keeps its empty default, which has no notation
  }
  LGCP::Message again;
  if (!again.setFromValueNotation(text) || again.compare(message) != 0 || again.asValueNotation() != text) {
    std::abort();
  }
  return 0;
}
