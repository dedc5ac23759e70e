#include "signalling/HdlcSlotFactory.h"

#include "runtime/log/TraceFlags.h"
#include "signalling/HdlcSlot.h"

#include <iostream>

HdlcSlotFactory& HdlcSlotFactory::instance() {
  static HdlcSlotFactory factory;
  return factory;
}

std::unique_ptr<Slot> HdlcSlotFactory::INewSlot(const LGCP::CreateParams& params) {
  if (traces.signalling.hdlc) {
    std::clog << "\nHdlcSlotFactory.INewSlot\n" << std::endl;
  }
  if (!params.is_hdlcParams()) {
    return nullptr;
  }
  return std::unique_ptr<Slot>(new HdlcSlot(params.get_hdlcParams()));
}

void HdlcSlotFactory::SelfSignal(const LGCP::Signal& signal) {
  if (!signal.is_trunkStatus()) {
    return;
  }
  const ACP::TrunkStatus& status = signal.get_trunkStatus();
  for (Slot* slot : slots()) {
    slot->OnTrunkStatus(static_cast<unsigned>(status.get_trunk().getValue()),
                        static_cast<ACP::TrunkState::NamedNumber>(status.get_state().getValue()));
  }
}
