#include "hardware/TonecReceiverService.h"

#include "hardware/DeviceNames.h"
#include "hardware/EventRecords.h"
#include "hardware/ReceiverId.h"
#include "hardware/TonecReceiver.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "runtime/net/Fd.h"

#include <fcntl.h>
#include <poll.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace Hardware {
namespace {

constexpr unsigned long kConfigureDetector = 0x40144202;
constexpr unsigned long kEnableDetector = 0x40084203;
constexpr unsigned long kDisableDetector = 0x40044204;
constexpr unsigned long kDial = 0x400c4205;
constexpr unsigned long kLmsOn = 0x40044206;
constexpr unsigned long kLmsOff = 0x40044207;
constexpr unsigned long kRejectionOn = 0x40044209;
constexpr unsigned long kRejectionOff = 0x4004420a;
constexpr unsigned long kIvaOn = 0x4004420b;
constexpr unsigned long kIvaOff = 0x4004420c;
constexpr unsigned long kIvaConfigure = 0x4008420d;
constexpr unsigned long kSelcalDial = 0x400c420e;

constexpr uint16_t kSelcalAmplitude = 12000;
constexpr size_t kSelcalSigns = 4;
constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

// " errno=" and the text of the failure between double quotes.
std::ostream& Errno(std::ostream& os, int error) {
  return os << " errno=" << ext::quoted(std::strerror(error));
}

template <size_t N>
bool Send(int fd, unsigned long request, std::array<uint8_t, N>& record) {
  return platform::Ioctl(fd, request, record.data()) != -1;
}

bool SendValue(int fd, unsigned long request, unsigned long value) {
  return platform::IoctlValue(fd, request, value) != -1;
}

}  // namespace

TonecReceiverService& TonecReceiverService::instance() {
  static TonecReceiverService service;
  return service;
}

TonecReceiverService::TonecReceiverService() {
  event_.Bind("TonecReceiverService::OnEvent", &TonecReceiverService::OnEvent, this);
  (void)init();
}

bool TonecReceiverService::init() {
  event_.Release();
  Fd fd(platform::Open(GetDTMFDevName(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    std::cerr << "open tonec fail, DTMF proceeding disabled: " << std::strerror(errno) << std::endl;
    return false;
  }
  event_.Schedule(fd, POLLIN);
  return true;
}

bool TonecReceiverService::EnsureOpen() {
  return is_open() || init();
}

bool TonecReceiverService::configureDTMF(unsigned timeslot, const LGCP::DTMFParams& params) {
  if (!EnsureOpen()) {
    std::cerr << "configure DTMF fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return false;
  }
  const unsigned twist = params.get_threshold().get_twist().getValue();
  const unsigned ratio = params.get_threshold().get_ratio().getValue();
  const unsigned noise = params.get_threshold().get_noise().getValue();
  const unsigned silence = params.get_level().get_silence().getValue();
  std::array<uint8_t, 20> record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(twist).U32(ratio).U32(silence).U32(noise);
  if (!Send(event_.GetFd().get(), kConfigureDetector, record)) {
    Errno(std::cerr << "DTMF_CONFIGURE_DETECTOR fail:"
                    << " timeslot=" << timeslot,
          errno)
        << std::endl;
    return false;
  }
  std::clog << "DTMF_CONFIGURE_DETECTOR"
            << " ts=" << timeslot << " twist=" << twist << " ratio=" << ratio << " noise=" << noise
            << " silence=" << silence << std::endl;
  return true;
}

bool TonecReceiverService::enableDTMF(TonecReceiver& receiver, bool on) {
  if (receiver.events_enabled_ == on) {
    return true;
  }
  const unsigned timeslot = receiver.tonec_timeslot();
  if (!on) {
    if (!SendValue(event_.GetFd().get(), kDisableDetector, timeslot)) {
      Errno(std::cerr << "DTMF_DISABLE_DETECTOR fail:"
                      << " timeslot=" << timeslot,
            errno)
          << std::endl;
      return false;
    }
    receiver.events_enabled_ = false;
    std::cerr << "DTMF_DISABLE_DETECTOR done:"
              << " timeslot=" << timeslot << std::endl;
    return true;
  }
  const uint32_t id = NextReceiverId(last_id_);
  last_id_ = id;
  std::array<uint8_t, 8> record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(id);
  if (!Send(event_.GetFd().get(), kEnableDetector, record)) {
    Errno(std::cerr << "DTMF_ENABLE_DETECTOR fail:"
                    << " timeslot=" << timeslot << " id=" << id,
          errno)
        << std::endl;
    return false;
  }
  receiver.id_ = id;
  receiver.events_enabled_ = true;
  std::cerr << "DTMF_ENABLE_DETECTOR done:"
            << " timeslot=" << timeslot << " id=" << id << std::endl;
  return true;
}

bool TonecReceiverService::Switch(const char* name, unsigned long on_request, unsigned long off_request, bool on,
                                  unsigned timeslot) {
  const bool lms = on_request == kLmsOn;
  const char* suffix = on ? (lms ? "_ON" : "_ENABLE") : (lms ? "_OFF" : "_DISABLE");
  if (!SendValue(event_.GetFd().get(), on ? on_request : off_request, timeslot)) {
    Errno(std::cerr << name << suffix << " fail:"
                    << " timeslot=" << timeslot,
          errno)
        << std::endl;
    return false;
  }
  std::clog << name << suffix << "[" << timeslot << "] ok" << std::endl;
  return true;
}

bool TonecReceiverService::echoCancel(unsigned timeslot, bool on) {
  return Switch("CHANNEL_LMS", kLmsOn, kLmsOff, on, timeslot);
}

bool TonecReceiverService::enableDTMFReject(unsigned timeslot, bool on) {
  return Switch("DTMF_REJECTION", kRejectionOn, kRejectionOff, on, timeslot);
}

bool TonecReceiverService::enableToneGenerator(unsigned timeslot, uint16_t freq1, uint16_t freq2, uint16_t level1,
                                               uint16_t level2) {
  std::array<uint8_t, 12> record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U16(freq1).U16(freq2).U16(level1).U16(level2);
  if (!Send(event_.GetFd().get(), kDial, record)) {
    Errno(std::cerr << "DTMF_DIAL fail:"
                    << " timeslot=" << timeslot,
          errno)
        << std::endl;
    return false;
  }
  return true;
}

bool TonecReceiverService::configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params) {
  const unsigned timeslot = receiver.tonec_timeslot();
  if (!EnsureOpen()) {
    std::cerr << "configure IVA fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return false;
  }
  const int level = params.get_det_lvl_dB().getValue();
  std::array<uint8_t, 8> record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).I32(level);
  if (!Send(event_.GetFd().get(), kIvaConfigure, record)) {
    Errno(std::cerr << "IVA_CONFIGURE_DETECTOR fail:"
                    << " timeslot=" << timeslot,
          errno)
        << std::endl;
    return false;
  }
  std::clog << "IVA_CONFIGURE_DETECTOR"
            << " ts=" << timeslot << " det_lvl_dB=" << level << std::endl;
  return true;
}

bool TonecReceiverService::enableIVA(TonecReceiver& receiver, bool on) {
  if (!Switch("IVA_DETECTOR", kIvaOn, kIvaOff, on, receiver.tonec_timeslot())) {
    return false;
  }
  receiver.events_enabled_ = on;
  return true;
}

bool TonecReceiverService::translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command) {
  const unsigned timeslot = receiver.tonec_timeslot();
  const std::string& signs = command.get_signs();
  if (signs.size() < kSelcalSigns) {
    std::cerr << "SELCAL_DIAL fail:"
              << " timeslot=" << timeslot << " incorect signs:" << signs << std::endl;
    return false;
  }
  const auto amplitude = command.has_amp() ? static_cast<uint16_t>(command.get_amp().getValue()) : kSelcalAmplitude;
  std::array<uint8_t, 12> record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U16(amplitude).Bytes(signs.data(), kSelcalSigns);
  if (!Send(event_.GetFd().get(), kSelcalDial, record)) {
    Errno(std::cerr << "SELCAL_DIAL fail:"
                    << " timeslot=" << timeslot,
          errno)
        << std::endl;
    return false;
  }
  return true;
}

void TonecReceiverService::OnEvent(int fd, short revents) {
  if ((revents & POLLIN) != 0) {
    ReadEventRecords<kEventSize>(fd, "tonec", [this](const uint8_t* record) { Dispatch(record); });
  }
  if ((revents & kHangUp) != 0 && is_open()) {
    // Polling a hung-up descriptor would report the same at once, forever;
    // the next configure request opens the device again.
    std::cerr << "tonec device hang-up: " << PollEventAsText(revents & kHangUp) << std::endl;
    event_.Release();
  }
}

void TonecReceiverService::Dispatch(const uint8_t* record) {
  const uint32_t code = platform::LoadBe32(record);
  const uint32_t timeslot = platform::LoadBe32(record + 4);
  const uint32_t timestamp = platform::LoadBe32(record + 8);
  const uint32_t id = platform::LoadBe32(record + 12);
  auto fields = [&](std::ostream& os) -> std::ostream& {
    return os << " timestamp=" << timestamp << " timeslot=" << timeslot << " code=" << code << " id=" << id;
  };
  fields(std::clog << "dtmf event: ") << std::endl;
  for (Containers::CyclicList* node : TonecReceiver::All()) {
    TonecReceiver& receiver = *static_cast<TonecReceiver::Link*>(node)->owner;
    if (receiver.tonec_timeslot() != timeslot) {
      continue;
    }
    if (!receiver.events_enabled_) {
      fields(std::clog << "ignore spurious dtmf event (DTMF disabled): ") << std::endl;
    } else if (receiver.id_ != id) {
      fields(std::clog << "ignore spurious dtmf event: ") << " rid=" << receiver.id_ << std::endl;
    } else {
      receiver.tonec_event(TonecReceiver::Params{code, timestamp});
    }
    return;
  }
  std::cerr << "receive tonec event from unknown timeslot " << timeslot << std::endl;
}

}  // namespace Hardware
