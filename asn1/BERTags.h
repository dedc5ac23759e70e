#pragma once

#include "asn1/Descriptors.h"

#include <cstdint>

namespace ASN1 {

// BER tag words: the identifier's class bits (0x00, 0x40, 0x80, 0xC0) shifted left by 16, OR the tag number, the
// form of the descriptors' `tag`. Tag numbers above 0xFFFF are not representable and are refused by the coders.
constexpr uint32_t kContextSpecific = 0x80u << 16;
constexpr uint32_t kMaxTagNumber = 0xFFFF;
// A coder's "use the value's own descriptor tag"; no tag word has this value.
constexpr uint32_t kOwnTag = 0xFFFFFFFF;

// X.680 automatic tagging: field or alternative i is [i], unless the descriptor lists its tags. A listed 0 means
// untagged (an alternative that is itself a CHOICE).
inline uint32_t FieldTag(const SequenceInfo& info, uint32_t index) {
  return info.fieldTags != nullptr ? info.fieldTags[index] : (kContextSpecific | index);
}
inline uint32_t SelectionTag(const ChoiceInfo& info, uint32_t index) {
  return info.selectionTags != nullptr ? info.selectionTags[index] : (kContextSpecific | index);
}

}  // namespace ASN1
