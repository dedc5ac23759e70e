#pragma once

#include "slots/SlotFactory.h"

// Builds an ext slot for every ext create, on the channels it names.
class ExtFactory : public SlotFactory {
 public:
  static ExtFactory& instance();

  const char* GetName() const override { return "Ext"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}

 private:
  ExtFactory() = default;
};
