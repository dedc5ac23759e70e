#include "slots/MapFactory.h"

#include "hardware/HwMux.h"
#include "slots/MapSlot.h"
#include "slots/Slots.h"

#include <iostream>

namespace {

constexpr unsigned kBuses = 16;
constexpr unsigned kChannelsPerBus = 128;

bool IsBusChannel(const LGCP::SharedChannel& channel) {
  return channel.get_bus().getValue() < kBuses && channel.get_channel().getValue() < kChannelsPerBus;
}

}  // namespace

int GetMapTimeSlot(const LGCP::SharedChannel& channel) {
  return MapFactory::kFirstBusChannel + static_cast<int>(channel.get_bus().getValue() << 7) +
         static_cast<int>(channel.get_channel().getValue());
}

MapFactory& MapFactory::instance() {
  static MapFactory factory;
  return factory;
}

std::unique_ptr<Slot> MapFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_map()) {
    return nullptr;
  }
  const LGCP::MapParams& map = params.get_map();
  const bool has_tx = map.has_transmitter();
  const bool has_rx = map.has_receiver();
  // The decoder keeps the values in range; a value built in process is not trusted to be.
  if ((has_tx && !IsBusChannel(map.get_transmitter())) || (has_rx && !IsBusChannel(map.get_receiver()))) {
    return nullptr;
  }
  auto* slot = new MapSlot(*this, has_tx ? GetMapTimeSlot(map.get_transmitter()) : -1,
                           has_rx ? GetMapTimeSlot(map.get_receiver()) : -1);
  std::unique_ptr<Slot> owned(slot);
  AllocateMapSlot(slot);
  return owned;
}

void MapFactory::AllocateMapSlot(MapSlot* slot) {
  if (slot->rx_ >= 0) {
    Claim(slot, slot->rx_);
  }
  if (slot->tx_ >= 0) {
    Claim(slot, slot->tx_);
  }
}

void MapFactory::Claim(MapSlot* slot, int channel) {
  MapSlot*& entry = slots_[static_cast<size_t>(channel - kFirstBusChannel)];
  if (entry != nullptr && entry != slot) {
    std::cerr << "map-slot: two slots require the same ipc-slot, remove old." << std::endl;
    std::cerr << "new slot " << *static_cast<Slot*>(slot) << " <-> old slot " << *static_cast<Slot*>(entry)
              << std::endl;
    // A map slot always goes at once, and its release clears the entry.
    (void)Slots::instance().Destroy(entry);
  }
  entry = slot;
}

void MapFactory::ReleaseMapSlot(MapSlot* slot) {
  if (slot->rx_ >= 0) {
    std::clog << "map: disable map channel " << slot->rx_ - kFirstBusChannel << std::endl;
    (void)HwMux::instance().Disable(slot->rx_);
    Free(slot, slot->rx_, 1);
  }
  // A slot that sends and receives on one channel held a single entry, cleared above.
  if (slot->tx_ >= 0 && slot->tx_ != slot->rx_) {
    Free(slot, slot->tx_, 2);
  }
}

void MapFactory::Free(MapSlot* slot, int channel, int code) {
  MapSlot*& entry = slots_[static_cast<size_t>(channel - kFirstBusChannel)];
  if (entry != slot) {
    std::clog << "map-slot: internal error! MapFactory::ReleaseMapSlot() code " << code << std::endl;
    return;
  }
  entry = nullptr;
}
