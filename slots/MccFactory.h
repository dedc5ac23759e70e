#pragma once

#include "hardware/mcc_alloc_params.h"
#include "slots/SlotFactory.h"

#include <cstdint>
#include <optional>
#include <ostream>

// Builds the MCC data slots, each on a channel of the MCC controller that it
// allocates, and reports how many channels of each type are free.
class MccFactory : public SlotFactory {
 public:
  using Channel = Mcc::Channel;

  static MccFactory& instance();

  const char* GetName() const override { return "MCC"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  // The free channels of each type; 0 when the controller cannot be asked.
  void Query(LGCP::Resources& resources) override;
  // "mcc: "
  void PutHeader(std::ostream& os) const;

  // Opens and allocates a data slot's channel of the type; nothing, with an
  // error line, when the device refuses.
  std::optional<Channel> OpenChannel(uint32_t type) const;

 private:
  MccFactory() = default;
};
