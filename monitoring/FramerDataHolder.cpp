#include "monitoring/FramerDataHolder.h"

#include "monitoring/StoreIfChanged.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace {

// The driver aligns the colons, so every prefix is 26 characters long.
constexpr const char* kCurrentState = "Current state           : ";
constexpr const char* kLossOfSignal = "Loss of Signal          : ";
constexpr const char* kLossOfFrameAlignment = "Loss of Frame Alignment : ";
constexpr const char* kSlipNegative = "Receive Slip Negative   : ";
constexpr const char* kSlipPositive = "Receive Slip Positive   : ";
constexpr const char* kNoCarrier = "No Carrier";

// The rest of the line after the prefix, wherever the prefix stands in it.
bool ValueAfter(const std::string& line, const char* prefix, std::string& value) {
  const size_t at = line.find(prefix);
  if (at == std::string::npos) {
    return false;
  }
  value = line.substr(at + std::strlen(prefix));
  return true;
}

// The leading decimal integer, as strtol reads it (white space and a sign
// first, 0 without digits), held to the counter's 32 bits instead of wrapping.
int32_t LeadingInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr int64_t kBeyond = int64_t{std::numeric_limits<int32_t>::max()} + 2;
  int64_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), kBeyond);
  }
  value = negative ? -value : value;
  return static_cast<int32_t>(
      std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

FramerDataHolder::FramerDataHolder(int32_t number, const std::string& path) : number(number), path(path) {}

bool FramerDataHolder::SetStatusText(const std::string& text) {
  if (text == status) {
    return false;
  }
  status = text;
  connected = text != kNoCarrier;
  return true;
}

bool FramerDataHolder::TakeLine(const std::string& line) {
  bool changed = false;
  std::string value;
  if (ValueAfter(line, kCurrentState, value)) {
    changed |= SetStatusText(value);
  }
  if (ValueAfter(line, kLossOfSignal, value)) {
    changed |= StoreIfChanged(signal_loss, value == "yes");
  }
  if (ValueAfter(line, kLossOfFrameAlignment, value)) {
    changed |= StoreIfChanged(frame_alignment_loss, value == "yes");
  }
  if (ValueAfter(line, kSlipNegative, value)) {
    changed |= StoreIfChanged(negative_slips, LeadingInteger(value));
  }
  if (ValueAfter(line, kSlipPositive, value)) {
    changed |= StoreIfChanged(positive_slips, LeadingInteger(value));
  }
  return changed;
}

int32_t FramerDataHolder::setFramerStatus(const std::vector<unsigned char>& bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), '\0');
  const std::string text(bytes.begin(), end);
  bool changed = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos) {
      stop = text.size();
    }
    changed |= TakeLine(text.substr(start, stop - start));
    start = stop + 1;
  }
  return changed ? 1 : 0;
}

int FramerDataHolder::setFramerStatus(ACP::TrunkState::NamedNumber state) {
  switch (state) {
    case ACP::TrunkState::normal:
      return SetStatusText("Synchronized") ? 1 : 0;
    case ACP::TrunkState::lossBF:
      return SetStatusText("FAS Loss") ? 1 : 0;
    case ACP::TrunkState::lossCarrier:
      return SetStatusText(kNoCarrier) ? 1 : 0;
    case ACP::TrunkState::ais:
      return SetStatusText("AIS") ? 1 : 0;
    case ACP::TrunkState::rai:
      return SetStatusText("RAI") ? 1 : 0;
    default:
      // unknown, disabled and any value outside the enumeration.
      return SetStatusText("Unknown") ? 1 : 0;
  }
}
