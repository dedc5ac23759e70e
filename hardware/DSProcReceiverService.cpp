#include "hardware/DSProcReceiverService.h"

#include "hardware/DeviceNames.h"
#include "hardware/EventRecords.h"
#include "hardware/ReceiverId.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "runtime/log/TraceFlags.h"
#include "runtime/net/Fd.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>

namespace Hardware {
namespace {

constexpr unsigned long kConfigure = 0x40146401;
constexpr unsigned long kEnable = 0x400c6402;
constexpr unsigned long kDisable = 0x400c6403;
constexpr unsigned long kVersion = 0x40046404;

// DSPROC_CONFIGURE kinds.
constexpr uint32_t kVad = 1;
constexpr uint32_t kSd = 2;
constexpr uint32_t kDelays = 32;
constexpr uint32_t kRxGain = 64;
constexpr uint32_t kToneFilter = 256;

// Feature masks of DSPROC_ENABLE and DSPROC_DISABLE.
constexpr uint32_t kVadMask = 0x1;
constexpr uint32_t kSdMask = 0x2;
constexpr uint32_t kMuteFirst = 0x4;
constexpr uint32_t kMuteSecond = 0x8;
constexpr uint32_t kBssMask = 0x10;
constexpr uint32_t kNgMask = 0x80;
constexpr uint32_t kAllTones = 0x100;
constexpr uint32_t kSelcalShMask = 0x400;

// Event types.
constexpr uint32_t kVadEvent = 1;
constexpr uint32_t kSdEvent = 2;
constexpr uint32_t kBssEvent = 0x10;
constexpr uint32_t kToneEvent = 0x100;
constexpr uint32_t kFlagsEvent = 0x200;

constexpr int kVadParamsVersion2 = 2;
constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

std::ostream& Errno(std::ostream& os, int error) {
  return os << " errno=" << ext::quoted(std::strerror(error));
}

// One event record, decoded: timeslot, id, type and the three payload words.
struct EventRecord {
  uint32_t timeslot;
  uint32_t id;
  uint32_t type;
  uint32_t payload[3];
};

EventRecord Decode(const uint8_t* record) {
  platform::BeReader reader(record, DSProcReceiverService::kEventSize);
  EventRecord event{};
  event.timeslot = reader.U32();
  event.id = reader.U32();
  event.type = reader.U32();
  for (uint32_t& word : event.payload) {
    word = reader.U32();
  }
  return event;
}

float AsFloat(uint32_t word) {
  float value;
  static_assert(sizeof value == sizeof word, "the score is a 32-bit float");
  std::memcpy(&value, &word, sizeof value);
  return value;
}

void TraceEvent(const EventRecord& event) {
  std::clog << "dsproc event: "
            << " timeslot=" << event.timeslot << " id=" << event.id << " type=" << event.type << std::endl;
  switch (event.type) {
    case kVadEvent:
      std::clog << "dsproc vad event: "
                << " dir_mask=" << event.payload[0] << " vad_rx=" << event.payload[1] << " vad_tx=" << event.payload[2]
                << std::endl;
      return;
    case kSdEvent:
      std::clog << "dsproc sd event: "
                << " sd_rx=" << event.payload[0] << std::endl;
      return;
    case kBssEvent:
      std::clog << "dsproc bss event: "
                << " score=" << AsFloat(event.payload[0]) << std::endl;
      return;
    case kFlagsEvent:
      std::clog << "dsproc flags event: "
                << " flags=" << std::hex << event.payload[0] << ", mask=" << event.payload[1] << std::dec << std::endl;
      return;
    default:
      return;
  }
}

// The trace line of an event dropped by a receiver; a stale one names the receiver's id.
void TraceIgnored(const char* what, const EventRecord& event, std::optional<uint32_t> receiver_id = std::nullopt) {
  if (!traces.signalling.events) {
    return;
  }
  std::clog << what << " timeslot=" << event.timeslot << " id=" << event.id << " type=" << event.type;
  if (receiver_id) {
    std::clog << " rid=" << *receiver_id;
  }
  std::clog << std::endl;
}

// Delivers a VAD or SD event when the feature is on under the event's id.
bool Accepts(const DSProcReceiver::Feature& feature, const EventRecord& event, const char* disabled,
             const char* stale) {
  if (feature.state == 0) {
    TraceIgnored(disabled, event);
    return false;
  }
  if (feature.id != event.id) {
    TraceIgnored(stale, event, feature.id);
    return false;
  }
  return true;
}

}  // namespace

DSProcReceiverService& DSProcReceiverService::instance() {
  static DSProcReceiverService service;
  return service;
}

DSProcReceiverService::DSProcReceiverService() {
  event_.Bind("DSProcReceiverService::OnEvent", &DSProcReceiverService::OnEvent, this);
  (void)init();
}

bool DSProcReceiverService::init() {
  event_.Release();
  Fd fd(platform::Open(GetDSPDevName(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    std::cerr << "open dsproc fail, VAD proceeding disabled: " << std::strerror(errno) << std::endl;
    return false;
  }
  event_.Schedule(fd, POLLIN);
  return true;
}

bool DSProcReceiverService::EnsureOpen() {
  return is_open() || init();
}

bool DSProcReceiverService::SwitchFeature(DSProcReceiver& receiver, DSProcReceiver::Feature& feature, const char* name,
                                          uint32_t mask, bool on) {
  const int wanted = on ? 1 : 0;
  if (feature.state == wanted) {
    return true;
  }
  const unsigned timeslot = receiver.dsproc_timeslot();
  std::array<uint8_t, 12> record{};
  if (!on) {
    platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(0).U32(mask);
    if (platform::Ioctl(event_.GetFd().get(), kDisable, record.data()) == -1) {
      Errno(std::cerr << "DSPROC_DISABLE " << name << " fail:"
                      << " timeslot=" << timeslot << " id=" << feature.id,
            errno)
          << std::endl;
      return false;
    }
    feature.state = 0;
    std::cerr << "DSPROC_DISABLE " << name << " done:"
              << " timeslot=" << timeslot << std::endl;
    return true;
  }
  const uint32_t id = NextReceiverId(last_id_);
  last_id_ = id;
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(id).U32(mask);
  if (platform::Ioctl(event_.GetFd().get(), kEnable, record.data()) == -1) {
    Errno(std::cerr << "DSPROC_ENABLE " << name << " fail:"
                    << " timeslot=" << timeslot << " id=" << id,
          errno)
        << std::endl;
    return false;
  }
  feature.id = id;
  feature.state = 1;
  std::cerr << "DSPROC_ENABLE " << name << " done:"
            << " timeslot=" << timeslot << " id=" << id << std::endl;
  return true;
}

bool DSProcReceiverService::enableVAD(DSProcReceiver& receiver, bool on) {
  return SwitchFeature(receiver, receiver.vad_, "VAD", kVadMask, on);
}

bool DSProcReceiverService::enableBSS(DSProcReceiver& receiver, bool on) {
  return SwitchFeature(receiver, receiver.bss_, "BSS", kBssMask, on);
}

bool DSProcReceiverService::enableNG(DSProcReceiver& receiver, bool on) {
  return SwitchFeature(receiver, receiver.ng_, "NG", kNgMask, on);
}

bool DSProcReceiverService::enableSelcalSh(DSProcReceiver& receiver, bool on) {
  return SwitchFeature(receiver, receiver.selcal_sh_, "SELCAL_SH", kSelcalShMask, on);
}

bool DSProcReceiverService::enableSD(DSProcReceiver& receiver, bool on) {
  return SwitchFeature(receiver, receiver.sd_, "SD", kSdMask, on);
}

bool DSProcReceiverService::enableMute(DSProcReceiver& receiver, bool first, bool second) {
  if (receiver.mute_first_ == (first ? 1 : 0) && receiver.mute_second_ == (second ? 1 : 0)) {
    return true;
  }
  const unsigned timeslot = receiver.dsproc_timeslot();
  std::array<uint8_t, 12> record{};
  if (!first && !second) {
    platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(0).U32(kMuteFirst | kMuteSecond);
    if (platform::Ioctl(event_.GetFd().get(), kDisable, record.data()) == -1) {
      Errno(std::cerr << "DSPROC_DISABLE MUTE fail:"
                      << " timeslot=" << timeslot,
            errno)
          << std::endl;
      return false;
    }
    receiver.mute_first_ = 0;
    receiver.mute_second_ = 0;
    std::cerr << "DSPROC_DISABLE MUTE done:"
              << " timeslot=" << timeslot << std::endl;
    return true;
  }
  const uint32_t id = NextReceiverId(last_id_);
  last_id_ = id;
  const uint32_t mask = (first ? kMuteFirst : 0) | (second ? kMuteSecond : 0);
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(id).U32(mask);
  if (platform::Ioctl(event_.GetFd().get(), kEnable, record.data()) == -1) {
    Errno(std::cerr << "DSPROC_ENABLE MUTE fail:"
                    << " timeslot=" << timeslot << " id=" << id,
          errno)
        << std::endl;
    return false;
  }
  receiver.mute_id_ = id;
  receiver.mute_first_ = first ? 1 : 0;
  receiver.mute_second_ = second ? 1 : 0;
  std::cerr << "DSPROC_ENABLE MUTE done:"
            << " timeslot=" << timeslot << " id=" << id << std::endl;
  return true;
}

bool DSProcReceiverService::Configure(Configuration& record, const char* fail_message, unsigned timeslot) {
  if (platform::Ioctl(event_.GetFd().get(), kConfigure, record.data()) != -1) {
    return true;
  }
  Errno(std::cerr << fail_message << " timeslot=" << timeslot, errno) << std::endl;
  return false;
}

bool DSProcReceiverService::configureVAD(unsigned timeslot, const LGCP::VADParams& params) {
  if (!EnsureOpen()) {
    std::cerr << "configure VAD fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return false;
  }
  Configuration record{};
  platform::BeWriter writer(record.data(), record.size());
  writer.U32(timeslot).U32(kVad);
  if (platform::IoctlValue(event_.GetFd().get(), kVersion, 0) == kVadParamsVersion2) {
    if (!params.is_v2()) {
      std::cerr << "DSPROC_CONFIGURE VAD: params not specified for v2: "
                << " timeslot=" << timeslot << std::endl;
      return false;
    }
    const TERM::VADParamsV2& v2 = params.get_v2();
    writer.U16(static_cast<uint16_t>(v2.get_voice_th_msec().getValue()))
        .U16(static_cast<uint16_t>(v2.get_silence_th_msec().getValue()))
        .U8(static_cast<uint8_t>(v2.get_e_th_dB().getValue()));
  } else {
    writer.U32(3).U32(127).U32(0);
  }
  if (!Configure(record, "DSPROC_CONFIGURE VAD fail:", timeslot)) {
    return false;
  }
  std::clog << "DSPROC_CONFIGURE VAD"
            << " ts=" << timeslot << std::endl;
  return true;
}

bool DSProcReceiverService::configureSD(unsigned timeslot) {
  if (!EnsureOpen()) {
    std::cerr << "configure SD fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return false;
  }
  Configuration record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(kSd);
  if (!Configure(record, "DSPROC_CONFIGURE SD fail:", timeslot)) {
    return false;
  }
  std::clog << "DSPROC_CONFIGURE SD"
            << " ts=" << timeslot << std::endl;
  return true;
}

void DSProcReceiverService::configureDelays(unsigned timeslot, unsigned rx, unsigned tx, unsigned selcal) {
  if (!EnsureOpen()) {
    std::cerr << "configure Delays fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return;
  }
  Configuration record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(kDelays).U32(rx).U32(tx).U32(selcal);
  if (Configure(record, "DSPROC_CONFIGURE DELAYS fail:", timeslot)) {
    std::clog << "DSPROC_CONFIGURE DELAYS"
              << " ts=" << timeslot << " rx=" << rx << " tx=" << tx << " selcal=" << selcal << std::endl;
  }
}

void DSProcReceiverService::configureRxGain(unsigned timeslot, signed char gain_dB) {
  if (!EnsureOpen()) {
    std::cerr << "Configure Rx gain fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return;
  }
  Configuration record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(kRxGain).U8(static_cast<uint8_t>(gain_dB));
  if (Configure(record, "DSPROC_CONFIGURE Rx Gain fail:", timeslot)) {
    std::clog << "DSPROC_CONFIGURE RX GAIN"
              << " ts=" << timeslot << " gain_dB=" << int{gain_dB} << std::endl;
  }
}

void DSProcReceiverService::configureToneFilter(unsigned timeslot, unsigned frequency, unsigned enable, int duration_ms,
                                                int level_dB) {
  if (!EnsureOpen()) {
    std::cerr << "Configure Tone Filter fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return;
  }
  Configuration record{};
  // [timeslot|kind|freq:16 enable:8 0:8|duration:16 level:8 0:8|0]
  platform::BeWriter(record.data(), record.size())
      .U32(timeslot)
      .U32(kToneFilter)
      .U16(static_cast<uint16_t>(frequency))
      .U8(static_cast<uint8_t>(enable))
      .Zero(1)
      .U16(static_cast<uint16_t>(duration_ms))
      .U8(static_cast<uint8_t>(level_dB));
  if (Configure(record, "DSPROC_CONFIGURE Tone Filter fail:", timeslot)) {
    std::clog << "DSPROC_CONFIGURE TONE FILTER"
              << " ts=" << timeslot << " freq=" << frequency << ", en=" << enable << ", dur_th_msec=" << duration_ms
              << ", det_lvl_dB=" << level_dB << std::endl;
  }
}

void DSProcReceiverService::disableToneAll(DSProcReceiver& receiver) {
  const unsigned timeslot = receiver.dsproc_timeslot();
  if (!EnsureOpen()) {
    std::cerr << "Disable All Tone fail: (interface not opened)"
              << " timeslot=" << timeslot << std::endl;
    return;
  }
  std::array<uint8_t, 12> record{};
  platform::BeWriter(record.data(), record.size()).U32(timeslot).U32(0).U32(kAllTones);
  if (platform::Ioctl(event_.GetFd().get(), kDisable, record.data()) == -1) {
    Errno(std::cerr << "Disable All Tone fail:"
                    << " timeslot=" << timeslot,
          errno)
        << std::endl;
    return;
  }
  std::clog << "DISABLE ALL TONE done: "
            << " ts=" << timeslot << std::endl;
}

void DSProcReceiverService::OnEvent(int fd, short revents) {
  if ((revents & POLLIN) != 0) {
    ReadEventRecords<kEventSize>(fd, "dsproc", [this](const uint8_t* record) { Dispatch(record); });
  }
  if ((revents & kHangUp) != 0 && is_open()) {
    // Polling a hung-up descriptor would report the same at once, forever;
    // the next configure request opens the device again.
    std::cerr << "dsproc device hang-up: " << PollEventAsText(revents & kHangUp) << std::endl;
    event_.Release();
  }
}

void DSProcReceiverService::Dispatch(const uint8_t* bytes) {
  const EventRecord event = Decode(bytes);
  if (traces.signalling.events) {
    TraceEvent(event);
  }
  for (Containers::CyclicList* node : DSProcReceiver::All()) {
    DSProcReceiver& receiver = *static_cast<DSProcReceiver::Link*>(node)->owner;
    if (receiver.dsproc_timeslot() != event.timeslot) {
      continue;
    }
    switch (event.type) {
      case kVadEvent:
        if (Accepts(receiver.vad_, event,
                    "ignore spurious dsproc vad event (dsproc disabled): ", "ignore spurious dsproc vad event: ")) {
          const uint32_t directions = event.payload[0];
          receiver.dsproc_vad_event(
              DSProcVADEvent{(directions & 1) != 0 ? static_cast<int32_t>(event.payload[1]) : -1,
                             (directions & 2) != 0 ? static_cast<int32_t>(event.payload[2]) : -1});
        }
        return;
      case kSdEvent:
        if (Accepts(receiver.sd_, event,
                    "ignore spurious dsproc vad event (dsproc disabled): ", "ignore spurious dsproc vad event: ")) {
          receiver.dsproc_sd_event(DSProcSDEvent{static_cast<int32_t>(event.payload[0])});
        }
        return;
      case kBssEvent:
        if (receiver.bss_.state == 0) {
          TraceIgnored("ignore spurious dsproc bss event (dsproc disabled): ", event);
          return;
        }
        {
          const ::dsproc_bss_event bss{AsFloat(event.payload[0])};
          receiver.dsproc_bss_event(&bss);
        }
        return;
      case kToneEvent: {
        const ::dsproc_tone_event tone{event.payload[0], event.payload[1]};
        receiver.dsproc_tone_flt_event(&tone);
        return;
      }
      case kFlagsEvent: {
        const ::dsproc_flags_event flags{event.payload[0], event.payload[1]};
        receiver.dsproc_flags_event(&flags);
        return;
      }
      default:
        return;
    }
  }
  if (traces.signalling.events) {
    std::cerr << "receive dsproc event from unknown timeslot " << event.timeslot << std::endl;
  }
}

}  // namespace Hardware
