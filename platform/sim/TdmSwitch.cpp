#include "platform/sim/TdmSwitch.h"

#include "platform/sim/Board.h"

#include <cerrno>

namespace sim {
namespace {

// What a channel that sends nothing gives back.
constexpr uint8_t kIdleRead = 0xFF;

bool IsChannel(int channel) {
  return channel >= 0 && channel < TdmSwitch::kChannelEnd;
}

}  // namespace

long TdmSwitch::Connect(int output, int source) {
  if (!IsChannel(output) || !IsChannel(source)) {
    return -EINVAL;
  }
  outputs_[output] = Output{Carries::source, source};
  requests_.Add({Operation::connect, output, source});
  return 0;
}

long TdmSwitch::Disable(int output) {
  if (!IsChannel(output)) {
    return -EINVAL;
  }
  ++disable_counts_[static_cast<size_t>(output)];
  if (outputs_.erase(output) != 0) {
    requests_.Add({Operation::disable, output, 0});
  }
  return 0;
}

long TdmSwitch::Write(int output, int value) {
  if (!IsChannel(output)) {
    return -EINVAL;
  }
  outputs_[output] = Output{Carries::constant, value & 0xFF};
  requests_.Add({Operation::write, output, value & 0xFF});
  return 0;
}

long TdmSwitch::Read(int channel) {
  if (!IsChannel(channel)) {
    return -EINVAL;
  }
  uint8_t value = kIdleRead;
  const auto injected = read_values_.find(channel);
  const auto output = outputs_.find(channel);
  if (injected != read_values_.end()) {
    value = injected->second;
  } else if (output != outputs_.end() && output->second.carries == Carries::constant) {
    value = static_cast<uint8_t>(output->second.value);
  }
  requests_.Add({Operation::read, channel, value});
  return value;
}

TdmSwitch::Output TdmSwitch::OutputOf(int output) const {
  auto lock = Board::Lock();
  const auto found = outputs_.find(output);
  return found == outputs_.end() ? Output{} : found->second;
}

std::vector<int> TdmSwitch::OutputsCarrying(int source) const {
  auto lock = Board::Lock();
  std::vector<int> outputs;
  for (const auto& [output, carried] : outputs_) {
    if (carried == Output{Carries::source, source}) {
      outputs.push_back(output);
    }
  }
  return outputs;
}

std::vector<TdmSwitch::Request> TdmSwitch::Requests() const {
  auto lock = Board::Lock();
  return requests_.Items();
}

void TdmSwitch::ClearRequests() {
  auto lock = Board::Lock();
  requests_.Clear();
}

unsigned TdmSwitch::DisableCount(int output) const {
  auto lock = Board::Lock();
  return IsChannel(output) ? disable_counts_[static_cast<size_t>(output)] : 0;
}

void TdmSwitch::SetReadValue(int channel, uint8_t value) {
  auto lock = Board::Lock();
  read_values_[channel] = value;
}

}  // namespace sim
