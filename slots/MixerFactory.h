#pragma once

#include "slots/Mixer.h"
#include "slots/SlotFactory.h"

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

namespace Mixer {

// Discovers the conference mixer units, builds the mixer input and output
// slots on them, and reports their resources. Units are known only after a
// resource query; one the driver no longer reports aborts its slots. All units
// are offered with the smallest channel and input counts among them.
class MixerFactory : public SlotFactory {
 public:
  static constexpr size_t kMaxUnits = 100;

  static MixerFactory& instance();

  const char* GetName() const override { return "Mixer"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  // Runs the discovery and reports each unit found.
  void Query(LGCP::Resources& resources) override;

  // The first unit of that number that the driver still reports; null when none.
  Mixer* findMixer(int32_t unit) const;
  // The smallest counts over the units found; -1 before any was found.
  int32_t channel_bound() const { return channel_bound_; }
  int32_t input_bound() const { return input_bound_; }
  bool version_valid() const { return version_valid_; }
  // Deletes a vanished unit whose last slot is gone.
  void Forget(Mixer* unit);
  // "mixer: "
  void PutHeader(std::ostream& os) const;

 private:
  MixerFactory() = default;

  void RefreshResources();
  // Units not found again leave the list and abort their slots.
  void DropVanished();
  // Asks "/dev/voice" for the driver version record.
  void ReadDriverVersion();

  bool version_valid_ = false;
  std::array<uint8_t, 20> version_{};
  int32_t input_bound_ = -1;
  int32_t channel_bound_ = -1;
  std::vector<std::unique_ptr<Mixer>> units_;
  // Units gone from the driver whose aborted slots are still in the table.
  std::vector<std::unique_ptr<Mixer>> vanished_;
};

}  // namespace Mixer
