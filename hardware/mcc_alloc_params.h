#pragma once

#include "runtime/net/Fd.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>

// The allocation record of an MCC controller channel: every user of
// "/dev/mcc/ctl" opens the device, allocates its channel with this record,
// then asks for the channel's switch channel to join it to the TDM switch.
struct mcc_alloc_params {
  // Channel types.
  static constexpr uint32_t kData = 0;  // HDLC framing
  static constexpr uint32_t kBri = 1;   // BRI D channel
  static constexpr uint32_t kTransparent = 2;
  static constexpr uint32_t kSs7 = 3;  // SS7 signalling link

  uint32_t type;
  uint32_t rx_packet_size;  // largest receive unit in bytes
  uint32_t reserved;        // always 0
  uint32_t rx_threshold;
  uint32_t tx_threshold;

  // The 20-byte record in the board's byte order.
  std::array<uint8_t, 20> Encode() const;
};

namespace Mcc {

constexpr char kDevice[] = "/dev/mcc/ctl";
constexpr unsigned long kAllocate = 0x40144d00;
constexpr unsigned long kTimeslot = 0x20004d02;
constexpr unsigned long kQuery = 0x80104d03;

// MCC_ALLOCATE on an open of the device: 0 or more, or -1 with errno.
int Allocate(int fd, const mcc_alloc_params& params);
// MCC_TIMESLOT: the channel's switch channel, negative on failure.
int Timeslot(int fd);

// An allocated channel: its descriptor and the switch channel that joins it to the TDM switch.
struct Channel {
  Fd fd;
  int switch_channel;
};

// Writes the caller's log-line header.
using PutHeader = std::function<void(std::ostream&)>;

// Opens the device non-blocking, allocates a channel with params and asks its switch channel. Each failure is one
// error line after the caller's header; with announce, the allocation is logged before it is made.
std::optional<Channel> OpenChannel(const mcc_alloc_params& params, const PutHeader& put_header, bool announce);

}  // namespace Mcc
