#pragma once

#include "slots/SlotFactory.h"

// Builds the PSTN signalling slots and hands them the E1 trunk status.
class PstnFactory : public SlotFactory {
 public:
  static PstnFactory& instance();

  const char* GetName() const override { return "PSTN"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // Only E1 statuses: a BRI port shares its trunk numbers with the E1 trunks.
  void SelfSignal(const LGCP::Signal& signal) override;

 private:
  PstnFactory() = default;
};
