#pragma once

#include "slots/SlotFactory.h"

// Builds the HDLC slots and hands them trunk status.
class HdlcSlotFactory : public SlotFactory {
 public:
  static HdlcSlotFactory& instance();

  const char* GetName() const override { return "HdlcSlotFactory"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  void SelfSignal(const LGCP::Signal& signal) override;

 private:
  HdlcSlotFactory() = default;
};
