#include "hardware/BusCtl.h"

#include "hardware/spiCtrl.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"

#include <fcntl.h>

#include <iostream>

namespace {

constexpr char kHalDevice[] = "/dev/hal";
// Record {int32 source}.
constexpr unsigned long kClockSelectRequest = 0x80044301;

constexpr int kFreeRun = 4;
constexpr int kX3 = 5;

const char* const kSourceNames[] = {"f0", "f1", "f2", "f3", "freerun", "X3", "?1", "?2"};
constexpr int kSourceNameCount = sizeof kSourceNames / sizeof kSourceNames[0];

}  // namespace

BusCtl& BusCtl::instance() {
  static BusCtl service(spiCtrl::instance());
  return service;
}

void BusCtl::OnConnect() {
  if (enabled_) {
    SetDefaultClock();
  }
}

void BusCtl::OnDisconnect() {
  if (enabled_) {
    SetDefaultClock();
  }
}

bool BusCtl::OnCommand(const LGCP::Command& command) {
  if (!command.is_clockCfg()) {
    return false;
  }
  if (!enabled_) {
    Error(LGCP::ErrorCause::unsupported);
    return true;
  }
  // A clock the bus did not take is no success.
  if (!SetClockSrc(command.get_clockCfg())) {
    Error(LGCP::ErrorCause::busError);
    return true;
  }
  Success();
  return true;
}

void BusCtl::DisableControl() {
  std::clog << "clock control disabled." << std::endl;
  enabled_ = false;
}

void BusCtl::SetDefaultClock() {
  LGCP::ClockCfg config;
  config.set_clkSel0(LGCP::ClkSel0::internal);
  config.set_bextEn(LGCP::BExtEn::disabled);
  config.set_source(-1);
  // Already logged; nobody waits for an answer.
  (void)SetClockSrc(config);
}

bool BusCtl::SetClockSrc(const LGCP::ClockCfg& config) {
  if (!IsOpen()) {
    spi_.clock(-1);
    std::cerr << ext::header(this) << "set clock source fail: code 1." << std::endl;
    return false;
  }
  std::cerr << ext::header(this) << "set clock source cmd: " << config.asValueNotation() << std::endl;
  if (config.get_clkSel0().getValue() == LGCP::ClkSel0::internal) {
    return DrvSetClkSrc(kFreeRun);
  }
  if (config.get_bextEn().getValue() != LGCP::BExtEn::enabled) {
    return DrvSetClkSrc(kX3);
  }
  const int source = config.get_source().getValue();
  // A negative source selects nothing, as asked.
  return source < 0 || DrvSetClkSrc(source);
}

bool BusCtl::DrvSetClkSrc(int source) {
  uint8_t record[4];
  platform::StoreBe32(record, static_cast<uint32_t>(source));
  if (platform::Ioctl(fd_.get(), kClockSelectRequest, record) < 0) {
    std::cerr << ext::header(this) << "HW_CLOCK_SELECT fail." << std::endl;
    return false;
  }
  std::cerr << ext::header(this) << "clock source = ";
  if (source >= 0 && source < kSourceNameCount) {
    std::cerr << kSourceNames[source];
  } else {
    std::cerr << source;
  }
  std::cerr << std::endl;
  return true;
}

bool BusCtl::IsOpen() {
  if (fd_ || !enabled_) {
    return static_cast<bool>(fd_);
  }
  fd_ = Fd(platform::Open(kHalDevice, O_RDWR | O_CLOEXEC));
  return static_cast<bool>(fd_);
}

void BusCtl::PutHeader(std::ostream& os) const {
  os << "clkctl: ";
}
