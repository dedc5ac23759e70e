#pragma once

#include "slots/SlotFactory.h"

#include <array>

// Builds echo slots on the echo-canceller buses found present, and reports
// those buses as resources. Nothing detects a bus yet, so every echo create
// is refused.
class EchoFactory : public SlotFactory {
 public:
  static constexpr int kBuses = 16;

  static EchoFactory& instance();

  const char* GetName() const override { return "Echo"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  // Lists every present bus.
  void Query(LGCP::Resources& resources) override;

 protected:
  EchoFactory();

  std::array<bool, kBuses> present_{};

 private:
  // Marks every bus absent.
  void Scan();
};
