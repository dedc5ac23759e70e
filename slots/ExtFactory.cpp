#include "slots/ExtFactory.h"

#include "slots/ExtSlot.h"

ExtFactory& ExtFactory::instance() {
  static ExtFactory factory;
  return factory;
}

std::unique_ptr<Slot> ExtFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_ext()) {
    return nullptr;
  }
  const LGCP::ExtParams& ext = params.get_ext();
  return std::unique_ptr<Slot>(new ExtSlot(ext.get_transmitter().getValue(), ext.get_receiver().getValue()));
}
