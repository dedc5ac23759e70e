#include "hardware/mcc_alloc_params.h"

#include "platform/ByteOrder.h"
#include "platform/Device.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <iostream>

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

namespace {

std::ostream& Line(std::ostream& os, const PutHeader& put_header) {
  put_header(os);
  return os;
}

}  // namespace

std::optional<Channel> OpenChannel(const mcc_alloc_params& params, const PutHeader& put_header, bool announce) {
  Fd fd(platform::Open(kDevice, O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    Line(std::cerr, put_header) << "fail to open MCC device: " << std::strerror(errno) << std::endl;
    return std::nullopt;
  }
  if (announce) {
    Line(std::clog, put_header) << "MCC_ALLOCATE"
                                << " type=" << params.type << std::endl;
  }
  if (Allocate(fd.get(), params) < 0) {
    Line(std::cerr, put_header) << "MCC_ALLOCATE fail: " << std::strerror(errno) << std::endl;
    return std::nullopt;
  }
  // A negative channel would reach the switch as a channel number.
  const int switch_channel = Timeslot(fd.get());
  if (switch_channel < 0) {
    Line(std::cerr, put_header) << "MCC_TIMESLOT fail: " << std::strerror(errno) << std::endl;
    return std::nullopt;
  }
  return Channel{std::move(fd), switch_channel};
}

}  // namespace Mcc
