#include "slots/EchoFactory.h"

#include "slots/EchoSlot.h"

#include <iostream>

namespace {

constexpr int kChannelsPerBus = 32;

}  // namespace

EchoFactory& EchoFactory::instance() {
  static EchoFactory factory;
  return factory;
}

EchoFactory::EchoFactory() {
  Scan();
}

void EchoFactory::Scan() {
  present_.fill(false);
  std::clog << "Scanning echo channels ..." << std::endl;
}

std::unique_ptr<Slot> EchoFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_echo()) {
    return nullptr;
  }
  const LGCP::EchoParams& echo = params.get_echo();
  const int bus = echo.get_bus().getValue();
  const int channel = echo.get_channel().getValue();
  // Both are any integer the controller sends: a negative bus must not index the flags, and a channel off the
  // bus would name another bus's channel, or none.
  if (bus < 0 || bus >= kBuses || !present_[static_cast<size_t>(bus)] || channel < 0 || channel >= kChannelsPerBus) {
    return nullptr;
  }
  return std::unique_ptr<Slot>(new EchoSlot(bus * kChannelsPerBus + channel));
}

void EchoFactory::Query(LGCP::Resources& resources) {
  for (int bus = 0; bus < kBuses; ++bus) {
    if (present_[static_cast<size_t>(bus)]) {
      ASN1::INTEGER number;
      number.setValue(bus);
      resources.get_echoBus().push_back(number);
    }
  }
}
