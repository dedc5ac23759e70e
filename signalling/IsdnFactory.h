#pragma once

#include "slots/SlotFactory.h"

#include <cstdint>
#include <ostream>

// Builds the ISDN and ATS-QSIG D-channel slots and the ATS-QSIG B channels.
class IsdnFactory : public SlotFactory {
 public:
  static IsdnFactory& instance();

  const char* GetName() const override { return "ISDN"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources&) override {}
  // The slot with that number among those it built, or null.
  Slot* FindSlot(uint32_t number) const;
  // "mcc/isdn: "
  void PutHeader(std::ostream& os) const;

 private:
  IsdnFactory() = default;

  std::unique_ptr<Slot> NewIsdnSlot(const LGCP::IsdnParams& params);
  std::unique_ptr<Slot> NewAtsQsigSlot(const LGCP::AtsQsigParams& params);
  std::unique_ptr<Slot> NewAtsQsigBSlot(const LGCP::AtsQsigBParams& params);
};
