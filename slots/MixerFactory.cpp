#include "slots/MixerFactory.h"

#include "hardware/DeviceNames.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "runtime/net/Fd.h"
#include "slots/Slot.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace Mixer {
namespace {

// [unit|channels|not used|mixer inputs]: given the previous unit, the next one.
constexpr unsigned long kUnitQuery = 0x80104d07;
constexpr unsigned long kDriverVersion = 0x4014560a;

constexpr int kDpuPerMixer = 770;
constexpr int kDpuPerEc = 17;
constexpr int kDpuPerLms = 24;

int32_t Smaller(int32_t bound, int32_t count) {
  return bound < 0 ? count : std::min(bound, count);
}

}  // namespace

MixerFactory& MixerFactory::instance() {
  static MixerFactory factory;
  return factory;
}

void MixerFactory::PutHeader(std::ostream& os) const {
  os << "mixer: ";
}

Mixer* MixerFactory::findMixer(int32_t unit) const {
  for (const auto& mixer : units_) {
    if (mixer->unit() == unit && !mixer->vanished()) {
      return mixer.get();
    }
  }
  return nullptr;
}

std::unique_ptr<Slot> MixerFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.is_mixerOut()) {
    Mixer* unit = findMixer(params.get_mixerOut().get_unit().getValue());
    return unit == nullptr ? nullptr : unit->New(params.get_mixerOut());
  }
  if (params.is_mixerIn()) {
    Mixer* unit = findMixer(params.get_mixerIn().get_unit().getValue());
    return unit == nullptr ? nullptr : unit->New(params.get_mixerIn());
  }
  return nullptr;
}

void MixerFactory::Query(LGCP::Resources& resources) {
  RefreshResources();
  auto& mixers = resources.get_mixer();
  mixers.clear();
  for (const auto& unit : units_) {
    LGCP::MixerResources_subtype entry;
    entry.set_unit(unit->unit());
    entry.set_tdm_inputs(std::max(channel_bound_, 0));
    entry.set_tdm_outputs(std::max(channel_bound_, 0));
    entry.set_mixer_inputs(std::max(input_bound_, 0));
    entry.set_dpu_per_mixer(kDpuPerMixer);
    entry.set_dpu_per_ec(kDpuPerEc);
    entry.set_dpu_per_lms(kDpuPerLms);
    mixers.push_back(entry);
  }
}

void MixerFactory::RefreshResources() {
  for (const auto& unit : units_) {
    unit->set_vanished(true);
  }
  channel_bound_ = -1;
  input_bound_ = -1;
  std::array<uint8_t, 16> record{};
  platform::BeWriter(record.data(), record.size()).I32(-1);
  size_t found = 0;
  while (found < kMaxUnits && mixer_ctl(kUnitQuery, record.data()) >= 0) {
    ++found;
    const auto number = static_cast<int32_t>(platform::LoadBe32(&record[0]));
    channel_bound_ = Smaller(channel_bound_, static_cast<int32_t>(platform::LoadBe32(&record[4])));
    input_bound_ = Smaller(input_bound_, static_cast<int32_t>(platform::LoadBe32(&record[12])));
    const auto known = std::find_if(units_.begin(), units_.end(), [&](const auto& u) { return u->unit() == number; });
    if (known != units_.end()) {
      (*known)->set_vanished(false);
      continue;
    }
    units_.push_back(std::make_unique<Mixer>(number));
    units_.back()->Reset();
  }
  DropVanished();
  ReadDriverVersion();
}

void MixerFactory::DropVanished() {
  const auto gone = std::stable_partition(units_.begin(), units_.end(), [](const auto& u) { return !u->vanished(); });
  std::vector<Mixer*> aborted;
  for (auto it = gone; it != units_.end(); ++it) {
    aborted.push_back(it->get());
    vanished_.push_back(std::move(*it));
  }
  units_.erase(gone, units_.end());
  // Each forgets itself once it has no slots.
  for (Mixer* unit : aborted) {
    unit->Clear();
  }
}

void MixerFactory::ReadDriverVersion() {
  Fd fd(platform::Open(GetVoiceDevName(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    std::cerr << ext::header(this) << "device " << ext::quoted(GetVoiceDevName())
              << " open fail: " << std::strerror(errno) << std::endl;
    version_valid_ = false;
    return;
  }
  version_valid_ = platform::Ioctl(fd.get(), kDriverVersion, version_.data()) >= 0;
}

void MixerFactory::Forget(Mixer* unit) {
  vanished_.erase(std::remove_if(vanished_.begin(), vanished_.end(), [&](const auto& u) { return u.get() == unit; }),
                  vanished_.end());
}

}  // namespace Mixer
