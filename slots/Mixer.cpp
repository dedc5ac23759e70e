#include "slots/Mixer.h"

#include "hardware/DeviceNames.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "slots/MixerFactory.h"
#include "slots/MixerSlots.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace Mixer {
namespace {

constexpr unsigned long kRxClear = 0x800c4d02;
constexpr unsigned long kRxAdd = 0x801c4d03;
constexpr unsigned long kRxRemove = 0x801c4d04;
constexpr unsigned long kTdm = 0x800c4d06;

constexpr int32_t kTdmType = 0;
constexpr int32_t kFullGain = 32767;

using SlotRecord = std::array<uint8_t, 12>;
// [output mix_slot|input mix_slot|gain]
using InputRecord = std::array<uint8_t, 28>;

void Put(platform::BeWriter& writer, const mix_slot& slot) {
  writer.I32(slot.dev_no).I32(slot.type).I32(slot.number);
}

SlotRecord SlotBytes(const mix_slot& slot) {
  SlotRecord record{};
  platform::BeWriter writer(record.data(), record.size());
  Put(writer, slot);
  return record;
}

InputRecord InputBytes(const mix_slot& output, const mix_slot& input, int32_t gain) {
  InputRecord record{};
  platform::BeWriter writer(record.data(), record.size());
  Put(writer, output);
  Put(writer, input);
  writer.I32(gain);
  return record;
}

const char* ErrorText() {
  return std::strerror(errno);
}

}  // namespace

int mixer_ctl(unsigned long request, void* argument) {
  const int fd = platform::Open(GetMixerDevName(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  const int result = platform::Ioctl(fd, request, argument);
  const int error = errno;
  (void)platform::Close(fd);
  errno = error;
  return result;
}

void Mixer::PutHeader(std::ostream& os) const {
  os << "mixer [" << unit_ << "]: ";
}

bool Mixer::Channel2Slot(const LGCP::MixerChannel& channel, mix_slot& slot) const {
  if (!channel.is_tdm()) {
    return false;
  }
  slot = mix_slot{unit_, kTdmType, channel.get_tdm().getValue()};
  return true;
}

bool Mixer::CheckChannel(const LGCP::MixerChannel& channel, int32_t& number) const {
  if (!channel.is_tdm()) {
    return false;
  }
  number = channel.get_tdm().getValue();
  return number >= 0 && number < MixerFactory::instance().channel_bound();
}

template <class Kind>
bool Mixer::Held(int32_t number, const char* point) const {
  for (const MixerSlot* slot : slots_) {
    if (dynamic_cast<const Kind*>(slot) != nullptr && slot->channel() == number) {
      std::cerr << ext::header(this) << point << " " << number << " is held by slot " << *slot << std::endl;
      return true;
    }
  }
  return false;
}

int Mixer::channel2timeslot(int32_t number) {
  SlotRecord record = SlotBytes(mix_slot{unit_, kTdmType, number});
  const int timeslot = mixer_ctl(kTdm, record.data());
  if (timeslot < 0) {
    std::cerr << ext::header(this) << "MIX_TDM"
              << " dev_no=" << unit_ << " type=" << kTdmType << " number=" << number << " fail : " << ErrorText()
              << std::endl;
    return -1;
  }
  return timeslot;
}

bool Mixer::AddInput(const mix_slot& output, const mix_slot& input, int32_t gain) {
  InputRecord record = InputBytes(output, input, gain);
  if (mixer_ctl(kRxAdd, record.data()) < 0) {
    std::cerr << ext::header(this) << "MIX_RX_ADD"
              << " fail : " << ErrorText() << std::endl;
    return false;
  }
  return true;
}

std::unique_ptr<Slot> Mixer::New(const LGCP::MixerInParams& params) {
  int32_t number = 0;
  if (!CheckChannel(params.get_channel(), number) || Held<TdmInput>(number, "tdm input")) {
    return nullptr;
  }
  const int timeslot = channel2timeslot(number);
  if (timeslot < 0) {
    return nullptr;
  }
  auto slot = std::make_unique<TdmInput>(*this, number, timeslot);
  if (params.has_summator()) {
    mix_slot output{unit_, kTdmType, -1};
    if (!Channel2Slot(params.get_summator(), output)) {
      std::cerr << ext::header(this) << "wrong summator coding !" << std::endl;
    } else {
      slot->summator = output.number;
    }
    (void)AddInput(output, mix_slot{unit_, kTdmType, number}, kFullGain);
  }
  if (params.has_ecm()) {
    const LGCP::EchoCancelMode& ecm = params.get_ecm();
    (void)slot->echoCancel(ecm.get_ec().getValue() || ecm.get_es().getValue());
  }
  Register(slot.get());
  return slot;
}

std::unique_ptr<Slot> Mixer::New(const LGCP::MixerOutParams& params) {
  // The channel is checked before any summator is programmed, so that a
  // refused create leaves no audio in an output no slot owns.
  int32_t number = 0;
  if (!CheckChannel(params.get_channel(), number) || Held<TdmOutput>(number, "tdm output") || !SetTX(params)) {
    return nullptr;
  }
  const int timeslot = channel2timeslot(number);
  if (timeslot < 0) {
    (void)ClearTX(params.get_channel());
    return nullptr;
  }
  auto slot = std::make_unique<TdmOutput>(*this, number, timeslot);
  Register(slot.get());
  return slot;
}

bool Mixer::ClearTX(const LGCP::MixerChannel& channel) {
  mix_slot output{};
  if (!Channel2Slot(channel, output)) {
    std::clog << ext::header(this) << "ClearTX error: translation fail" << std::endl;
    return false;
  }
  SlotRecord record = SlotBytes(output);
  if (mixer_ctl(kRxClear, record.data()) < 0) {
    std::cerr << ext::header(this) << "MIX_RX_CLEAR"
              << " dev_no=" << output.dev_no << " type=" << output.type << " number=" << output.number
              << " fail : " << ErrorText() << std::endl;
    return false;
  }
  return true;
}

bool Mixer::SetTX(const LGCP::MixerOutParams& params) {
  // ClearTX has logged an output that is not a TDM channel.
  mix_slot output{};
  if (!ClearTX(params.get_channel()) || !Channel2Slot(params.get_channel(), output)) {
    return false;
  }
  if (params.get_inputs().empty()) {
    return AddInput(output, output, kFullGain);
  }
  // The inputs added before a failure go again: no slot will own the output.
  const auto undo = [&] {
    (void)ClearTX(params.get_channel());
    return false;
  };
  for (const LGCP::MixerInput& input : params.get_inputs()) {
    mix_slot source{};
    if (!Channel2Slot(input.get_channel(), source)) {
      std::cerr << ext::header(this) << "SetTX error: translation fail [2]" << std::endl;
      return undo();
    }
    if (!AddInput(output, source, input.get_gain().getValue())) {
      return undo();
    }
  }
  return true;
}

void Mixer::Release(TdmInput& slot) {
  if (slot.sending()) {
    (void)slot.enableSilence();
    (void)slot.disableToneGenerator(true);
  }
  if (slot.summator) {
    InputRecord record =
        InputBytes(mix_slot{unit_, kTdmType, *slot.summator}, mix_slot{unit_, kTdmType, slot.channel()}, 0);
    if (mixer_ctl(kRxRemove, record.data()) < 0) {
      std::cerr << ext::header(this) << "MIX_RX_REMOVE"
                << " rx.number=" << *slot.summator << " tx.number=" << slot.channel() << " fail : " << ErrorText()
                << std::endl;
    }
  }
  UnRegister(&slot);
}

void Mixer::Release(TdmOutput& slot) {
  if (slot.sending()) {
    (void)slot.enableSilence();
    (void)slot.disableToneGenerator(true);
  }
  std::clog << ext::header(this) << "clear tdm output " << slot.channel() << std::endl;
  SlotRecord record = SlotBytes(mix_slot{unit_, kTdmType, slot.channel()});
  (void)mixer_ctl(kRxClear, record.data());
  UnRegister(&slot);
}

void Mixer::Reset() {
  std::clog << ext::header(this) << "clear all inputs" << std::endl;
  int errors = 0;
  for (int32_t output = 0; output < MixerFactory::instance().channel_bound(); ++output) {
    SlotRecord record = SlotBytes(mix_slot{unit_, kTdmType, output});
    if (mixer_ctl(kRxClear, record.data()) < 0) {
      ++errors;
    }
  }
  if (errors > 0) {
    std::cerr << ext::header(this) << "reset fail: " << errors << " errors." << std::endl;
  }
}

void Mixer::Clear() {
  // An aborted slot stays until the controller destroys it.
  for (MixerSlot* slot : std::vector<MixerSlot*>(slots_)) {
    slot->OnAbort(0);
  }
  CheckForDestroy();
}

void Mixer::Register(MixerSlot* slot) {
  slots_.push_back(slot);
}

void Mixer::UnRegister(MixerSlot* slot) {
  slots_.erase(std::remove(slots_.begin(), slots_.end(), slot), slots_.end());
  CheckForDestroy();
}

bool Mixer::SharesTimeslot(const MixerSlot& slot) const {
  return std::any_of(slots_.begin(), slots_.end(),
                     [&](const MixerSlot* other) { return other != &slot && other->timeslot() == slot.timeslot(); });
}

void Mixer::CheckForDestroy() {
  if (vanished_ && slots_.empty()) {
    MixerFactory::instance().Forget(this);
  }
}

}  // namespace Mixer
