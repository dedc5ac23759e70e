#include "signalling/IsdnFactory.h"

#include "hardware/mcc_alloc_params.h"
#include "platform/Device.h"
#include "runtime/net/Fd.h"
#include "signalling/IsdnSlots.h"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr char kDspData[] = "/dev/dsp-data";
constexpr unsigned long kChannelId = 0x40044211;

ISDN::LAPD* NewLapd(const LGCP::IsdnSide& side, int log) {
  auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  lapd->trace_level = static_cast<unsigned>(log);
  lapd->side = side.is_network() ? ISDN::Side::network : ISDN::Side::user;
  return lapd;
}

}  // namespace

IsdnFactory& IsdnFactory::instance() {
  static IsdnFactory factory;
  return factory;
}

void IsdnFactory::PutHeader(std::ostream& os) const {
  os << "mcc/isdn: ";
}

std::unique_ptr<Slot> IsdnFactory::INewSlot(const LGCP::CreateParams& params) {
  if (params.is_isdn()) {
    return NewIsdnSlot(params.get_isdn());
  }
  if (params.is_ats_qsig()) {
    return NewAtsQsigSlot(params.get_ats_qsig());
  }
  if (params.is_ats_qsig_b()) {
    return NewAtsQsigBSlot(params.get_ats_qsig_b());
  }
  return nullptr;
}

Slot* IsdnFactory::FindSlot(uint32_t number) const {
  for (Slot* slot : slots()) {
    if (slot->GetId() == number) {
      return slot;
    }
  }
  return nullptr;
}

std::unique_ptr<Slot> IsdnFactory::NewIsdnSlot(const LGCP::IsdnParams& params) {
  const bool bri = params.get_type().getValue() == LGCP::IsdnType::bri;
  // Opens, allocates and asks the channel id, refusing a negative one, with a line for each failure.
  std::optional<Mcc::Channel> channel = Mcc::OpenChannel(
      mcc_alloc_params{bri ? mcc_alloc_params::kBri : mcc_alloc_params::kData, 512, 0, 1, 1},
      [this](std::ostream& os) { PutHeader(os); }, false);
  if (!channel) {
    return nullptr;
  }
  ISDN::LAPD* lapd = NewLapd(params.get_side(), params.get_log().getValue());
  if (bri) {
    lapd->change_to_bri();
  }
  lapd->trunk = static_cast<unsigned>(params.get_trunk().getValue());
  return std::unique_ptr<Slot>(new IsdnSlot(channel->fd, channel->switch_channel, lapd, "IsdnSlot::OnEvent"));
}

std::unique_ptr<Slot> IsdnFactory::NewAtsQsigSlot(const LGCP::AtsQsigParams& params) {
  Fd fd(platform::Open(kDspData, O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    std::cerr << "mcc/isdn: fail to open dsp-data device: " << std::strerror(errno) << std::endl;
    return nullptr;
  }
  std::array<uint8_t, 4> record{};
  const int channel = platform::Ioctl(fd.get(), kChannelId, record.data());
  // A negative id would reach the switch as a channel number.
  if (channel < 0) {
    std::cerr << "mcc/isdn: dsp-data channel id fail: " << std::strerror(errno) << std::endl;
    return nullptr;
  }
  ISDN::LAPD* lapd = NewLapd(params.get_side(), params.get_log().getValue());
  lapd->trunk = static_cast<unsigned>(channel);
  return std::unique_ptr<Slot>(new AtsQsigSlot(fd, channel, lapd, "AtsQsigSlot::OnEvent"));
}

std::unique_ptr<Slot> IsdnFactory::NewAtsQsigBSlot(const LGCP::AtsQsigBParams& params) {
  auto* parent = dynamic_cast<AtsQsigSlot*>(FindSlot(static_cast<uint32_t>(params.get_slot().getValue())));
  const int subslot = params.get_subslot().getValue();
  if (parent == nullptr || subslot < 1 || subslot > 3) {
    return nullptr;
  }
  return parent->NewBChannel(static_cast<unsigned>(subslot - 1));
}
