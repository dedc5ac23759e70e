#include "asn1/AbstractData.h"

#include "asn1/AVNDecoder.h"
#include "asn1/AVNEncoder.h"
#include "asn1/ValidChecker.h"

#include <functional>
#include <ios>
#include <sstream>

namespace ASN1 {

uint32_t MaximumStringSize = 16384;
uint32_t MaximumArraySize = 128;

unsigned CountBits(uint64_t n) {
  if (n == 0) {
    return 32;
  }
  if (n == 1) {
    return 0;
  }
  // The bit length of n - 1, the largest number to tell apart.
  return 64 - static_cast<unsigned>(__builtin_clzll(n - 1));
}

int lexicographic_compare_bytes(const uint8_t* begin1, const uint8_t* end1, const uint8_t* begin2,
                                const uint8_t* end2) {
  for (; begin1 != end1 && begin2 != end2; ++begin1, ++begin2) {
    if (*begin1 != *begin2) {
      return *begin1 < *begin2 ? -1 : 1;
    }
  }
  if (begin1 != end1) {
    return 1;
  }
  return begin2 != end2 ? -1 : 0;
}

int AbstractData::compare(const AbstractData& other) const {
  if (info_ != other.info_) {
    return std::less<const TypeInfo*>()(info_, other.info_) ? -1 : 1;
  }
  return do_compare(other);
}

int AbstractData::print_on(std::ostream& stream) const {
  AVNEncoder encoder(stream);
  return accept(encoder) ? 0 : static_cast<int>(std::ios_base::failbit);
}

std::string AbstractData::asValueNotation() const {
  std::ostringstream text;
  if (print_on(text) != 0) {
    text.clear();
    text << kPrintFailedMarker;
  }
  return text.str();
}

bool AbstractData::setFromValueNotation(const std::string& text) {
  std::istringstream stream(text);
  AVNDecoder decoder(stream);
  return accept(decoder);
}

int AbstractData::get_from(std::istream& stream) {
  AVNDecoder decoder(stream);
  return accept(decoder) ? 0 : static_cast<int>(std::ios_base::failbit);
}

bool AbstractData::isValid() const {
  ValidChecker checker;
  return accept(checker);
}

bool AbstractData::isStrictlyValid() const {
  StrictlyValidChecker checker;
  return accept(checker);
}

}  // namespace ASN1
