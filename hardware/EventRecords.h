#pragma once

#include "platform/Device.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>

namespace Hardware {

// Reads what a non-blocking event device has ready, records of kSize bytes,
// and hands each whole one to dispatch. A short record or a failed read is
// logged under the device's name and ends the pass; the end of file is left to
// the hang-up that the poll reports with it.
template <size_t kSize, typename Dispatch>
void ReadEventRecords(int fd, const char* device, Dispatch dispatch) {
  for (;;) {
    std::array<uint8_t, kSize> record;
    const ssize_t size = platform::Read(fd, record.data(), record.size());
    if (size == static_cast<ssize_t>(kSize)) {
      dispatch(record.data());
      continue;
    }
    if (size > 0) {
      std::cerr << "short " << device << " event of " << size << " bytes, dropped" << std::endl;
      return;
    }
    if (size == 0) {
      return;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno != EAGAIN) {
      std::cerr << "fail to read from " << device << ": " << std::strerror(errno) << std::endl;
    }
    return;
  }
}

}  // namespace Hardware
