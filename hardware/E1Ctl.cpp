#include "hardware/E1Ctl.h"

#include "hardware/DeviceNames.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "schemas/ACP.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstring>
#include <ios>
#include <iostream>

namespace {

constexpr char kCasDevice[] = "/dev/e1-cas";

// Maintenance device. Status record (80 bytes): int32 trunk at 0 going in;
// int32 counters at 36 (slips), 40 (lossBF), 44 (lossCarrier), 48 (lossAIS),
// 52 (lossRAI) and the state at 76 coming back.
constexpr unsigned long kStatusRequest = 0xc0504d03;
constexpr size_t kStatusRecordSize = 80;
constexpr size_t kSlipsOffset = 36;
constexpr size_t kStateOffset = 76;
// The mask itself is the argument.
constexpr unsigned long kTclkRequest = 0xc0044d0b;
// The source number itself is the argument.
constexpr unsigned long kClockSourceRequest = 0xc0044d0a;

// CAS device. Trunk open and close take the trunk number as the argument.
constexpr unsigned long kCasOpenRequest = 0x80044300;
constexpr unsigned long kCasCloseRequest = 0x80044301;
// Channel record: int32 trunk, int32 timeslot, uint8 rx, uint8 tx, 2 bytes padding.
constexpr unsigned long kCasSetRequest = 0xc00c4302;
constexpr unsigned long kCasGetRequest = 0xc00c4303;
constexpr size_t kChannelRecordSize = 12;
// Configure record: int32 trunk, int32 timeslot, uint8 0, uint8 bits, 2 bytes padding, int32 mode.
constexpr unsigned long kCasConfigureRequest = 0xc0104304;
constexpr size_t kConfigureRecordSize = 16;
constexpr int kOpenChannel = 0;
constexpr int kCloseChannel = 1;

constexpr uint32_t kTclkTrunks = 32;
constexpr int kBitsMask = 15;
// Timeslot 0 stands for the whole trunk; 16 carries the multiframe and no channel.
constexpr int kTrunkTimeslot = 0;
constexpr int kSignallingTimeslot = 16;

// Poll results that keep a descriptor reporting at once, pass after pass.
constexpr short kTrouble = POLLERR | POLLHUP | POLLNVAL;

bool IsChannelTimeslot(int timeslot) {
  return timeslot != kTrunkTimeslot && timeslot != kSignallingTimeslot;
}

// The framer reports a trunk state; anything the controller does not know is unknown.
ACP::TrunkState::NamedNumber ToTrunkState(int32_t state) {
  if (state < ACP::TrunkState::normal || state > ACP::TrunkState::disabled) {
    return ACP::TrunkState::unknown;
  }
  return static_cast<ACP::TrunkState::NamedNumber>(state);
}

}  // namespace

E1Ctl& E1Ctl::instance() {
  static E1Ctl service;
  return service;
}

void E1Ctl::PutHeader(std::ostream& os) const {
  os << "E1: ";
}

void E1Ctl::OnConnect() {
  SendStatus();
  status_timer_.set(kStatusPeriodMs, &E1Ctl::OnCheckStatus, this);
  tclk_ = 0;
  UpdateTclk();
  CheckOpenCas();
}

void E1Ctl::OnCheckStatus() {
  SendStatus();
  CheckOpenCas();
  status_timer_.set(kStatusPeriodMs, &E1Ctl::OnCheckStatus, this);
}

void E1Ctl::OnDisconnect() {
  for (int trunk = 0; trunk < kTrunks; ++trunk) {
    if (cas_open_[trunk]) {
      HandleCasClose(trunk, kTrunkTimeslot);
    }
  }
}

bool E1Ctl::OnCommand(const LGCP::Command& command) {
  switch (command.alternative()) {
    case LGCP::Command::Alternative::ioctl:
      // An ioctl with a slot number belongs to that slot.
      if (IsSlotPresent()) {
        return false;
      }
      HandleCas(command.get_ioctl());
      Success();
      return true;
    case LGCP::Command::Alternative::trunkCfg:
      SetMode(command.get_trunkCfg());
      Success();
      return true;
    default:
      return false;
  }
}

bool E1Ctl::OpenMaintenance() {
  if (maintenance_) {
    return true;
  }
  maintenance_ = Fd(platform::Open(GetMaintenance(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!maintenance_) {
    return false;
  }
  if (tclk_pending_) {
    UpdateTclk();
  }
  return true;
}

void E1Ctl::SendStatus() {
  if (!OpenMaintenance()) {
    return;
  }
  for (int trunk = 0; trunk < kTrunks; ++trunk) {
    uint8_t record[kStatusRecordSize] = {};
    platform::StoreBe32(record, static_cast<uint32_t>(trunk));
    if (platform::Ioctl(maintenance_.get(), kStatusRequest, record) < 0) {
      std::cerr << ext::header(this) << "synchronization status read fail, trunk = " << trunk
                << " cause = " << std::strerror(errno) << std::endl;
      continue;
    }
    platform::BeReader counters(record + kSlipsOffset, kStatusRecordSize - kSlipsOffset);
    LGCP::Signal signal;
    ACP::TrunkStatus& status = signal.select_trunkStatus();
    status.set_trunk(trunk);
    status.set_slips(counters.I32());
    status.set_lossBF(counters.I32());
    status.set_lossCarrier(counters.I32());
    status.set_lossAIS(counters.I32());
    status.set_lossRAI(counters.I32());
    status.set_state(ToTrunkState(static_cast<int32_t>(platform::LoadBe32(record + kStateOffset))));
    status.set_type(ACP::TrunkType::e1);
    SendSignal(signal);
  }
}

void E1Ctl::SetMode(const LGCP::TrunkCfg& config) {
  const int trunk = config.get_trunk().getValue();
  // The mask has a bit for trunks 0 to 31 only.
  if (trunk < 0 || static_cast<uint32_t>(trunk) >= kTclkTrunks) {
    return;
  }
  switch (config.get_mode().getValue()) {
    case LGCP::TrunkMode::slave:
      tclk_ |= 1u << trunk;
      break;
    case LGCP::TrunkMode::master:
      tclk_ &= ~(1u << trunk);
      break;
    default:
      return;
  }
  UpdateTclk();
}

void E1Ctl::UpdateTclk() {
  tclk_pending_ = !maintenance_;
  if (tclk_pending_) {
    return;
  }
  if (platform::IoctlValue(maintenance_.get(), kTclkRequest, tclk_) < 0) {
    std::cerr << ext::header(this) << "fail to set TCLK [cause=" << std::strerror(errno) << "]" << std::endl;
    return;
  }
  std::clog << ext::header(this) << "TCLT = 0x" << std::hex << tclk_ << std::dec << std::endl;
}

bool E1Ctl::select_source(uint32_t source) {
  if (!OpenMaintenance() || platform::IoctlValue(maintenance_.get(), kClockSourceRequest, source) < 0) {
    std::cerr << ext::header(this) << "fail to set clock source [cause=" << std::strerror(errno) << "]" << std::endl;
    return false;
  }
  return true;
}

void E1Ctl::CheckOpenCas() {
  if (cas_) {
    return;
  }
  cas_ = Fd(platform::Open(kCasDevice, O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!cas_) {
    return;
  }
  std::clog << ext::header(this) << "cas interface opened!" << std::endl;
  cas_event_.Bind("E1/Cas", &E1Ctl::OnUpdateCas, this);
  cas_event_.Schedule(cas_, POLLIN);
}

void E1Ctl::OnUpdateCas(int fd, short revents) {
  // The loop serves the registration on every pass, readable or not.
  if ((revents & (POLLIN | kTrouble)) == 0) {
    return;
  }
  uint8_t record[kChannelRecordSize];
  const ssize_t count = platform::Read(fd, record, sizeof record);
  const int error = errno;
  if (count == static_cast<ssize_t>(sizeof record)) {
    platform::BeReader reader(record, sizeof record);
    const int32_t trunk = reader.I32();
    const int32_t timeslot = reader.I32();
    const uint8_t rx = reader.U8();
    const uint8_t tx = reader.U8();
    SendCas(trunk, timeslot, rx, tx);
    return;
  }
  const bool failed = count < 0 && error != EAGAIN && error != EINTR;
  if (count > 0 || (count < 0 && !failed && (revents & kTrouble) == 0)) {
    // A short record, or nothing yet.
    return;
  }
  // An end of file, a failing read or an error on the descriptor would wake
  // the loop again at once, on every pass: drop the device, so that the
  // status cycle opens it again.
  std::cerr << ext::header(this) << "cas interface closed: "
            << (count == 0 ? "end of file"
                : failed   ? std::strerror(error)
                           : PollEventAsText(revents & kTrouble))
            << std::endl;
  cas_event_.Release();
  cas_.close();
}

void E1Ctl::HandleCas(const LGCP::IoctlParams& params) {
  if (!params.is_cas()) {
    return;
  }
  const LGCP::CasCommand& command = params.get_cas();
  const int trunk = command.get_channel().get_path().getValue();
  const int timeslot = command.get_channel().get_timeslot().getValue();
  // A controller waits for the outcome of every cas command.
  CheckOpenCas();
  if (!cas_ || trunk < 0 || trunk >= kTrunks) {
    SendCasFailure(trunk, timeslot);
    return;
  }
  const LGCP::CasCommandSignal& cmd = command.get_cmd();
  switch (cmd.alternative()) {
    case LGCP::CasCommandSignal::Alternative::open:
      HandleCasOpen(trunk, timeslot, cmd.get_open().getValue());
      break;
    case LGCP::CasCommandSignal::Alternative::close:
      HandleCasClose(trunk, timeslot);
      break;
    case LGCP::CasCommandSignal::Alternative::set:
      HandleCasSet(trunk, timeslot, cmd.get_set().getValue());
      break;
    case LGCP::CasCommandSignal::Alternative::get:
      HandleCasGet(trunk, timeslot);
      break;
    default:
      break;
  }
}

void E1Ctl::HandleCasOpen(int trunk, int timeslot, int value) {
  if (cas_open_[trunk]) {
    SendCas(trunk, kTrunkTimeslot, 0, 0);
  } else {
    const int result = platform::IoctlValue(cas_.get(), kCasOpenRequest, static_cast<unsigned long>(trunk));
    SendCas(trunk, kTrunkTimeslot, result, 0);
    if (result < 0) {
      std::clog << ext::header(this) << "open cas signalling on trunk(" << trunk << ") - fail(" << result << ")"
                << std::endl;
      return;
    }
    std::clog << ext::header(this) << "open cas signalling on trunk(" << trunk << ") - ok" << std::endl;
    cas_open_[trunk] = true;
  }
  if (!IsChannelTimeslot(timeslot)) {
    return;
  }
  const int result = Configure(trunk, timeslot, value & kBitsMask, kOpenChannel);
  if (result < 0) {
    SendCas(trunk, timeslot, result, 0);
    return;
  }
  SendBits(trunk, timeslot);
}

void E1Ctl::HandleCasClose(int trunk, int timeslot) {
  if (!cas_open_[trunk]) {
    SendCasFailure(trunk, timeslot);
    return;
  }
  if (timeslot == kTrunkTimeslot) {
    int result = platform::IoctlValue(cas_.get(), kCasCloseRequest, static_cast<unsigned long>(trunk));
    if (result == 0) {
      result = 1;
    }
    SendCas(trunk, kTrunkTimeslot, result, 0);
    if (result > 0) {
      cas_open_[trunk] = false;
    }
    return;
  }
  if (!IsChannelTimeslot(timeslot)) {
    return;
  }
  const int result = Configure(trunk, timeslot, 0, kCloseChannel);
  if (result < 0) {
    SendCas(trunk, timeslot, result, 0);
    return;
  }
  SendCas(trunk, timeslot, -1, 1);
}

void E1Ctl::HandleCasSet(int trunk, int timeslot, int value) {
  if (!cas_open_[trunk]) {
    SendCasFailure(trunk, timeslot);
    return;
  }
  const Bits set = RequestBits(kCasSetRequest, trunk, timeslot, value & kBitsMask);
  if (set.result < 0) {
    SendCas(trunk, timeslot, set.result, 0);
    return;
  }
  SendBits(trunk, timeslot);
}

void E1Ctl::HandleCasGet(int trunk, int timeslot) {
  if (!cas_open_[trunk]) {
    SendCasFailure(trunk, timeslot);
    return;
  }
  SendBits(trunk, timeslot);
}

int E1Ctl::Configure(int trunk, int timeslot, int bits, int mode) {
  uint8_t record[kConfigureRecordSize];
  platform::BeWriter(record, sizeof record)
      .I32(trunk)
      .I32(timeslot)
      .U8(0)
      .U8(static_cast<uint8_t>(bits))
      .Zero(2)
      .I32(mode);
  return platform::Ioctl(cas_.get(), kCasConfigureRequest, record);
}

E1Ctl::Bits E1Ctl::RequestBits(unsigned long request, int trunk, int timeslot, int tx) {
  uint8_t record[kChannelRecordSize];
  platform::BeWriter(record, sizeof record).I32(trunk).I32(timeslot).U8(0).U8(static_cast<uint8_t>(tx)).Zero(2);
  const int result = platform::Ioctl(cas_.get(), request, record);
  return Bits{result, record[8], record[9]};
}

void E1Ctl::SendBits(int trunk, int timeslot) {
  const Bits bits = RequestBits(kCasGetRequest, trunk, timeslot, 0);
  if (bits.result < 0) {
    SendCas(trunk, timeslot, bits.result, 0);
    return;
  }
  SendCas(trunk, timeslot, bits.rx, bits.tx);
}

void E1Ctl::Assign(LGCP::CasChannel& channel, const uint8_t* record) {
  platform::BeReader reader(record, kChannelRecordSize);
  channel.set_path(reader.I32());
  channel.set_timeslot(reader.I32());
}

void E1Ctl::SendCas(int trunk, int timeslot, int rx, int tx) {
  LGCP::Signal signal;
  LGCP::CasSignalling& cas = signal.select_cas();
  cas.get_channel().set_path(trunk);
  cas.get_channel().set_timeslot(timeslot);
  cas.set_rx(rx);
  cas.set_tx(tx);
  SendSignal(signal);
}
