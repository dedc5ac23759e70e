#pragma once

#include "radio/ED137RadioControl.h"
#include "rtp/RtpFactory.h"

#include <memory>

// Builds the ED-137 radio channels: create commands of the rtp kind whose
// radio status is ED-137, set up as the RTP factory sets up a voice session.
class RtpED137Factory : public RtpFactory {
 public:
  static RtpED137Factory& instance();

  const char* GetName() const override { return "RTP Ext ED137"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;

  // The session parameters of a radio status: defaults, replaced by what its
  // radio-response carries.
  static RTPSignalling::ED137RadioParams MakeParams(const TERM::ED137RadioStatus& status);

 private:
  RtpED137Factory() : RtpFactory("rtp ext ED137") {}
};
