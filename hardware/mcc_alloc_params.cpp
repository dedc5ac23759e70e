#include "hardware/mcc_alloc_params.h"

#include "platform/ByteOrder.h"
#include "platform/Device.h"

std::array<uint8_t, 20> mcc_alloc_params::Encode() const {
  std::array<uint8_t, 20> record{};
  platform::BeWriter(record.data(), record.size())
      .U32(type)
      .U32(rx_packet_size)
      .U32(reserved)
      .U32(rx_threshold)
      .U32(tx_threshold);
  return record;
}

namespace Mcc {

int Allocate(int fd, const mcc_alloc_params& params) {
  std::array<uint8_t, 20> record = params.Encode();
  return platform::Ioctl(fd, kAllocate, record.data());
}

int Timeslot(int fd) {
  return platform::IoctlValue(fd, kTimeslot, 0);
}

}  // namespace Mcc
