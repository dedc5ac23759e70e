#include "slots/MccFactory.h"

#include "hardware/mcc_alloc_params.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/net/Fd.h"
#include "slots/MccSlot.h"

#include <fcntl.h>

#include <array>

namespace {

// The allocation type of a create: data, bri or transparent, or an SS7 link
// whatever the type in mode ss7; nothing for an unknown type.
std::optional<uint32_t> AllocationType(const LGCP::MccParams& params) {
  const int type = params.get_type().getValue();
  if (type < LGCP::MccType::data || type > LGCP::MccType::transparent) {
    return std::nullopt;
  }
  if (params.get_mode().getValue() == LGCP::MccMode::ss7) {
    return mcc_alloc_params::kSs7;
  }
  // The enumeration counts as the device's types do.
  return static_cast<uint32_t>(type);
}

}  // namespace

MccFactory& MccFactory::instance() {
  static MccFactory factory;
  return factory;
}

void MccFactory::PutHeader(std::ostream& os) const {
  os << "mcc: ";
}

std::unique_ptr<Slot> MccFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_mcc()) {
    return nullptr;
  }
  const std::optional<uint32_t> type = AllocationType(params.get_mcc());
  if (!type) {
    return nullptr;
  }
  std::optional<Channel> channel = OpenChannel(*type);
  if (!channel) {
    return nullptr;
  }
  return std::unique_ptr<Slot>(new MccSlot(*this, *channel));
}

std::optional<MccFactory::Channel> MccFactory::OpenChannel(uint32_t type) const {
  return Mcc::OpenChannel(
      mcc_alloc_params{type, 512, 0, 1, 1}, [this](std::ostream& os) { PutHeader(os); }, true);
}

void MccFactory::Query(LGCP::Resources& resources) {
  resources.set_mcc_data(0);
  resources.set_mcc_bri(0);
  resources.set_mcc_trans(0);
  Fd fd(platform::Open(Mcc::kDevice, O_RDONLY | O_CLOEXEC));
  if (!fd) {
    return;
  }
  // Free data, bri and transparent channels, then a word not reported.
  std::array<uint8_t, 16> record{};
  if (platform::Ioctl(fd.get(), Mcc::kQuery, record.data()) < 0) {
    return;
  }
  resources.set_mcc_data(static_cast<int>(platform::LoadBe32(&record[0])));
  resources.set_mcc_bri(static_cast<int>(platform::LoadBe32(&record[4])));
  resources.set_mcc_trans(static_cast<int>(platform::LoadBe32(&record[8])));
}
