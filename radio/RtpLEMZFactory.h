#pragma once

#include "slots/SlotFactory.h"

#include <memory>
#include <ostream>

// Builds the LEMZ radio channels: create commands of the rtp kind whose radio status is LEMZ, set up as the RTP
// factory sets up a voice session. The gateway side only.
class RtpLEMZFactory : public SlotFactory {
 public:
  static RtpLEMZFactory& instance();

  const char* GetName() const override { return "RTP Ext LEMZ"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources& resources) override;
  void PutHeader(std::ostream& os) const { os << "rtp ext LEMZ: "; }

 private:
  RtpLEMZFactory() = default;
};
