#include "signalling/PstnFactory.h"

#include "signalling/PstnSlot.h"

PstnFactory& PstnFactory::instance() {
  static PstnFactory factory;
  return factory;
}

std::unique_ptr<Slot> PstnFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_pstn()) {
    return nullptr;
  }
  return std::unique_ptr<Slot>(new PstnSlot(params.get_pstn()));
}

void PstnFactory::SelfSignal(const LGCP::Signal& signal) {
  if (!signal.is_trunkStatus()) {
    return;
  }
  const ACP::TrunkStatus& status = signal.get_trunkStatus();
  if (status.get_type().getValue() != ACP::TrunkType::e1) {
    return;
  }
  for (Slot* slot : slots()) {
    slot->OnTrunkStatus(static_cast<unsigned>(status.get_trunk().getValue()),
                        static_cast<ACP::TrunkState::NamedNumber>(status.get_state().getValue()));
  }
}
