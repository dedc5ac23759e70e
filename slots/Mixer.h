#pragma once

#include "schemas/LGCP.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

class Slot;

namespace Mixer {

class MixerSlot;
class TdmInput;
class TdmOutput;

// A point of a mixer unit as the device names it: unit, type (0 = TDM
// channel, the only type the server produces) and channel number.
struct mix_slot {
  int32_t dev_no;
  int32_t type;
  int32_t number;
};

// One request on the mixer device, which is opened and closed around it; the
// ioctl result with its errno, or -1 when the device cannot be opened.
int mixer_ctl(unsigned long request, void* argument);

// One conference mixer unit: builds the mixer slots on its channels,
// programs its summators for them, and lists them so that a unit that
// disappears from the driver can abort them. The factory owns it; a vanished
// unit is forgotten once its last slot is gone.
class Mixer {
 public:
  explicit Mixer(int32_t unit) : unit_(unit) {}
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  int32_t unit() const { return unit_; }
  bool vanished() const { return vanished_; }
  void set_vanished(bool vanished) { vanished_ = vanished; }

  // A new slot on the unit, or null (with an error line) when it cannot be built.
  std::unique_ptr<Slot> New(const LGCP::MixerInParams& params);
  std::unique_ptr<Slot> New(const LGCP::MixerOutParams& params);
  // Gives back what the slot programmed and unlists it.
  void Release(TdmInput& slot);
  void Release(TdmOutput& slot);
  // Clears every summator of the unit.
  void Reset();
  // The unit is gone from the driver: each of its slots is aborted.
  void Clear();
  // The output's summator carries its own input or the given inputs; on failure it carries none of them.
  [[nodiscard]] bool SetTX(const LGCP::MixerOutParams& params);
  [[nodiscard]] bool ClearTX(const LGCP::MixerChannel& channel);
  // The switch channel of a unit channel; -1 (with an error line) when the device refuses.
  int channel2timeslot(int32_t number);
  // False for a channel that is not a TDM channel.
  bool Channel2Slot(const LGCP::MixerChannel& channel, mix_slot& slot) const;
  void Register(MixerSlot* slot);
  void UnRegister(MixerSlot* slot);
  // True when another live slot of the unit uses the slot's switch channel.
  bool SharesTimeslot(const MixerSlot& slot) const;
  // A vanished unit without slots is forgotten by its factory.
  void CheckForDestroy();
  // "mixer [<unit>]: "
  void PutHeader(std::ostream& os) const;

 private:
  // The TDM channel number of a slot's channel, inside the units' common bound.
  bool CheckChannel(const LGCP::MixerChannel& channel, int32_t& number) const;
  // True, with an error line, when a live slot of the kind holds the channel:
  // destroying either slot would undo what the other programmed.
  template <class Kind>
  bool Held(int32_t number, const char* point) const;
  bool AddInput(const mix_slot& output, const mix_slot& input, int32_t gain);

  int32_t unit_;
  bool vanished_ = false;
  std::vector<MixerSlot*> slots_;
};

}  // namespace Mixer
