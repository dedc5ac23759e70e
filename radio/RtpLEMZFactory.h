#pragma once

#include "rtp/RtpFactory.h"

#include <memory>

// Builds the LEMZ radio channels: create commands of the rtp kind whose radio status is LEMZ, set up as the RTP
// factory sets up a voice session. The gateway side only.
class RtpLEMZFactory : public RtpFactory {
 public:
  static RtpLEMZFactory& instance();

  const char* GetName() const override { return "RTP Ext LEMZ"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;

 private:
  RtpLEMZFactory() : RtpFactory("rtp ext LEMZ") {}
};
