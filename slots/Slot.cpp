#include "slots/Slot.h"

#include "hardware/HwMux.h"
#include "slots/SlotFactory.h"
#include "slots/Slots.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iomanip>
#include <iostream>

Slot::~Slot() {
  listeners_.clear();
}

int Slot::GetTrunk() const {
  return -1;
}

int Slot::GetTrunkTimeSlot() const {
  return -1;
}

void Slot::OnTrunkStatus(unsigned, ACP::TrunkState::NamedNumber) {}

void Slot::IAfterCreate() {}

bool Slot::IBeforeDestroy() {
  return true;
}

bool Slot::IActivate(const TERM::TermActivateParams&) {
  return false;
}

bool Slot::IDeactivate() {
  return false;
}

bool Slot::IUserData(const std::vector<char>&) {
  return false;
}

bool Slot::Ioctl(const LGCP::IoctlParams&) {
  return false;
}

int Slot::GetConnectionPriority() const {
  return 0;
}

bool Slot::IHwConnectTransmitter(Slot* destination) {
  return MuxConnect(this, destination);
}

bool Slot::IHwConnectReceiver(Slot* source) {
  return MuxConnect(source, this);
}

bool Slot::IHwDisconnectTransmitter(Slot* destination) {
  return MuxDisconnect(destination);
}

bool Slot::IHwDisconnectReceiver(Slot*) {
  return MuxDisconnect(this);
}

bool Slot::IOnOutputStream() {
  return false;
}

bool Slot::IOnInputStream() {
  return false;
}

void Slot::IOnOutputRelease() {}

void Slot::IOnInputRelease() {}

int Slot::IGetTransmitChannel() const {
  return -1;
}

int Slot::IGetReceiveChannel() const {
  return -1;
}

void Slot::IOnForcedRelease() {}

bool Slot::BeforeDestroy() {
  const uint32_t number = id_;
  const bool at_once = IBeforeDestroy();
  // The hook may complete a wind-down itself, whatever it answers: the slot is deleted then.
  if (!at_once || Slots::instance().Find(number) != this) {
    return false;
  }
  if (factory_ == nullptr) {
    std::cerr << "slot: internal error!!! BeforeDestroy() not connected to factory" << std::endl;
    return true;
  }
  factory_->Remove(this);
  return true;
}

void Slot::on_release() {
  if (!destroying_) {
    return;
  }
  if (factory_ != nullptr) {
    factory_->Remove(this);
  }
  Slots::instance().on_release(this);
}

void Slot::LogicalConnect(Slot* source) {
  source_ = source;
  auto& listeners = source->listeners_;
  const auto place = std::lower_bound(listeners.begin(), listeners.end(), this, std::less<Slot*>());
  if (place == listeners.end() || *place != this) {
    listeners.insert(place, this);
  }
}

void Slot::LogicalDisconnect() {
  if (source_ == nullptr) {
    return;
  }
  auto& listeners = source_->listeners_;
  listeners.erase(std::remove(listeners.begin(), listeners.end(), this), listeners.end());
  source_ = nullptr;
}

void Slot::Put(std::ostream& os) const {
  if (id_ < Slots::kSlotCount) {
    const auto fill = os.fill('0');
    os << std::setw(2) << id_;
    os.fill(fill);
  } else if (id_ == kNoId) {
    os << "na";
  } else {
    os << 'i' << id_;
  }
  os << ':' << GetName();
}

std::ostream& operator<<(std::ostream& os, const Slot& slot) {
  slot.Put(os);
  return os;
}

void Slot::SendSignal(const LGCP::Signal& signal) {
  Slots::instance().SendSignal(id_, signal);
}

void Slot::OnTonecEvent(const LGCP::TonecEvent& event) {
  LGCP::Signal signal;
  signal.select_tonec() = event;
  SendSignal(signal);
}

void Slot::OnNumber(const std::string& number) {
  LGCP::Signal signal;
  signal.select_number() = number;
  SendSignal(signal);
}

void Slot::OnModem(const TERM::ModemProceeding& proceeding) {
  LGCP::Signal signal;
  signal.select_modemProceeding() = proceeding;
  SendSignal(signal);
}

void Slot::OnModem(const TERM::ModemInformation& information) {
  LGCP::Signal signal;
  signal.select_modemInformation() = information;
  SendSignal(signal);
}

void Slot::OnActivated() {
  LGCP::Signal signal;
  signal.select_activated();
  SendSignal(signal);
}

void Slot::OnDeactivated() {
  LGCP::Signal signal;
  signal.select_deactivated().setValue(LGCP::DeactivateCause::networkError);
  SendSignal(signal);
}

void Slot::OnAbort(int cause) {
  LGCP::Signal signal;
  signal.select_abort().setValue(cause);
  SendSignal(signal);
}

void Slot::OnUserData(const std::vector<char>& bytes) {
  LGCP::Signal signal;
  signal.select_userData().assign(bytes.begin(), bytes.end());
  SendSignal(signal);
}

void Slot::OnIoctlResponse(const LGCP::IoctlResponse& response) {
  LGCP::Signal signal;
  signal.select_ioctl() = response;
  SendSignal(signal);
}

void Slot::OnRtpRadioEvent(const TERM::RtpRadioRequest& request) {
  LGCP::Signal signal;
  signal.select_rtpExt() = request;
  SendSignal(signal);
}

void Slot::OnVADEvent(const LGCP::VADEvent& event) {
  LGCP::Signal signal;
  signal.select_vad() = event;
  SendSignal(signal);
}

void Slot::OnProtoLemzEvent(const LEMZGW::ProtoLemzPackets& packets) {
  LGCP::Signal signal;
  signal.select_protoLemz() = packets;
  SendSignal(signal);
}

void Slot::OnSDEvent(const LGCP::SDEvent& event) {
  LGCP::Signal signal;
  signal.select_sd() = event;
  SendSignal(signal);
}

void Slot::OnRtpEvent(const LGCP::RtpEvent& event) {
  LGCP::Signal signal;
  signal.select_rtp() = event;
  SendSignal(signal);
}

void Slot::OnChangeInputStream(bool on) {
  if (input_on_ == on) {
    return;
  }
  LGCP::Signal signal;
  if (on) {
    signal.select_receiver().select_active().setValue(IGetReceiveChannel());
    input_on_ = true;
    SendSignal(signal);
    return;
  }
  (void)Slots::instance().Disconnect(this);
  input_on_ = false;
  signal.select_receiver().select_inactive();
  SendSignal(signal);
}

void Slot::OnChangeOutputStream(bool on) {
  if (output_on_ == on) {
    return;
  }
  LGCP::Signal signal;
  if (on) {
    signal.select_transmitter().select_active().setValue(IGetTransmitChannel());
    output_on_ = true;
    SendSignal(signal);
    return;
  }
  DisconnectListeners("mux: internal error: expected slots not exists.");
  output_on_ = false;
  signal.select_transmitter().select_inactive();
  SendSignal(signal);
}

void Slot::DisconnectListeners(const char* missing_line) {
  for (size_t cuts = listeners_.size(); cuts > 0; --cuts) {
    if (listeners_.empty()) {
      std::cerr << missing_line << std::endl;
      return;
    }
    (void)Slots::instance().Disconnect(listeners_.front());
  }
}

namespace {

constexpr uint32_t kCedCode = 17;
constexpr uint32_t kCngCode = 18;
constexpr uint32_t kLastDtmfCode = 127;
constexpr int kLastIvaCode = 20;
constexpr int kIvaRingOff = 21;

constexpr uint32_t kVoiceReceived = 1u << 29;
constexpr uint32_t kVoiceSent = 1u << 30;
constexpr uint32_t kSelcalInProgress = 1u << 31;

}  // namespace

void Slot::processTonecEvent(uint32_t code, uint32_t timestamp) {
  LGCP::TonecEvent event;
  event.set_timestamp(static_cast<int>(timestamp));
  LGCP::TonecCode& tone = event.get_event();
  if (code == kCedCode) {
    tone.select_ced();
  } else if (code == kCngCode) {
    tone.select_cng();
  } else if (code <= kLastDtmfCode) {
    tone.select_dtmf() = code;
  } else {
    const int iva = static_cast<int32_t>(code) >> 8;
    if (iva >= 1 && iva <= kLastIvaCode) {
      tone.select_iva().select_code() = static_cast<unsigned>(iva);
    } else if (iva == kIvaRingOff) {
      tone.select_iva().select_ringoff();
    } else {
      std::cerr << "bad DTMF code, ignored." << std::endl;
      return;
    }
  }
  OnTonecEvent(event);
}

void Slot::processToneGenEvent() {
  LGCP::TonecEvent event;
  event.set_timestamp(0);
  event.get_event().select_dtmfDone();
  OnTonecEvent(event);
}

void Slot::processToneFltEvent(uint32_t frequency, uint8_t presence) {
  LGCP::TonecEvent event;
  event.set_timestamp(0);
  LGCP::TonePresence& tone = event.get_event().select_tone_presence();
  tone.set_freq(static_cast<int>(frequency));
  tone.set_presence(presence != 0);
  OnTonecEvent(event);
}

void Slot::processVADEvent(int32_t rx, int32_t tx) {
  if (rx < 0 && tx < 0) {
    std::cerr << "bad VAD event, ignored." << std::endl;
    return;
  }
  LGCP::VADEvent event;
  if (rx >= 0) {
    event.include_vad_rx().setValue(rx != 0);
  }
  if (tx >= 0) {
    event.include_vad_tx().setValue(tx != 0);
  }
  OnVADEvent(event);
}

void Slot::processSDEvent(int32_t rx) {
  if (rx < 0) {
    std::cerr << "bad SD event, ignored." << std::endl;
    return;
  }
  LGCP::SDEvent event;
  event.include_sd_rx().setValue(rx != 0);
  OnSDEvent(event);
}

void Slot::processFlagsEvent(uint32_t values, uint32_t mask) {
  if ((mask & (kVoiceReceived | kVoiceSent)) != 0) {
    LGCP::VADEvent event;
    if ((mask & kVoiceReceived) != 0) {
      event.include_vad_rx().setValue((values & kVoiceReceived) != 0);
    }
    if ((mask & kVoiceSent) != 0) {
      event.include_vad_tx().setValue((values & kVoiceSent) != 0);
    }
    OnVADEvent(event);
  }
  if ((mask & kSelcalInProgress) != 0) {
    LGCP::Signal signal;
    signal.select_selcal().set_in_progress((values & kSelcalInProgress) != 0);
    SendSignal(signal);
  }
}

void Slot::processBSSEvent(float score) {
  char text[31];
  std::snprintf(text, sizeof text, "%4.6f", static_cast<double>(score));
  LGCP::Signal signal;
  signal.select_bss().set_score(text);
  SendSignal(signal);
}

void Slot::processRtpEvent(const rtp_event& record) {
  if (record.type != rtp_device::kPacketDetectorEvent) {
    return;
  }
  LGCP::RtpEvent event;
  LGCP::RtpPDEvent& detected = event.select_pd();
  detected.set_value(static_cast<int>(record.value));
  detected.set_timeout(static_cast<int>(record.timeout));
  OnRtpEvent(event);
}

bool Slot::MuxConnect(Slot* source, Slot* destination) {
  const int transmit = source->IGetTransmitChannel();
  const int receive = destination->IGetReceiveChannel();
  if (!HwMux::instance().Connect(transmit, receive)) {
    return false;
  }
  std::clog << "mux: slot " << *source << " [" << transmit << "] -> " << *destination << " [" << receive << "]"
            << std::endl;
  return true;
}

bool Slot::MuxDisconnect(Slot* destination) {
  const int receive = destination->IGetReceiveChannel();
  if (!HwMux::instance().Disconnect(receive)) {
    return false;
  }
  std::clog << "mux: disconnect slot " << *destination << " [" << receive << "]" << std::endl;
  return true;
}
