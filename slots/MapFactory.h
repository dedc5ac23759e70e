#pragma once

#include "slots/SlotFactory.h"

#include <array>

class MapSlot;

// Builds the map slots and keeps each bus channel held by one slot at most, as
// transmitter or as receiver: a new slot that names a held channel destroys
// the slot that held it.
class MapFactory : public SlotFactory {
 public:
  // Bus channels on the switch: 16 buses of 128 channels from this channel on.
  static constexpr int kFirstBusChannel = 8192;
  static constexpr int kBusChannels = 2048;

  static MapFactory& instance();

  const char* GetName() const override { return "Map"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // The slot is going: its receive output is disabled (the transmit channel is
  // a source and stays as it is) and its channels become free.
  void ReleaseMapSlot(MapSlot* slot);

 private:
  MapFactory() = default;

  // Takes the slot's channels, receive side first.
  void AllocateMapSlot(MapSlot* slot);
  void Claim(MapSlot* slot, int channel);
  // Clears the channel's entry; code names the side in the line of an entry held by another.
  void Free(MapSlot* slot, int channel, int code);

  // By logical bus channel (switch channel - 8192).
  std::array<MapSlot*, kBusChannels> slots_{};
};

// The switch channel of a bus channel.
int GetMapTimeSlot(const LGCP::SharedChannel& channel);
