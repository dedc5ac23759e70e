#include "signalling/HdlcSlot.h"

#include "runtime/log/Ext.h"
#include "runtime/log/TraceFlags.h"
#include "signalling/SignallingSlot.h"

#include <iostream>

namespace {

// Address and control octets before the body.
constexpr unsigned kHeader = 3;
// The octet whose bit 7 says that more of the batch follows.
constexpr unsigned kMoreOffset = 4;
constexpr uint8_t kMore = 0x80;

}  // namespace

const TimerSpec<HdlcSlot>::Spec HdlcSlot::TUpdatespec = {&HdlcSlot::OnUpdateTimer, kUpdateMs};

HdlcSlot::HdlcSlot(const LGCP::HdlcParams& params)
    : trunk_(static_cast<unsigned>(params.get_trunk().getValue() - 1)),
      address_(static_cast<uint16_t>(params.get_address().getValue())) {
  response_.select_hdlcPackages();
  channel_.notify = this;
  channel_.trunk = static_cast<uint32_t>(params.get_trunk().getValue());
  channel_.link = channel_.trunk;
  channel_.log = params.get_log().getValue();
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "trunk=" << trunk_ << ", address=" << address_ << std::endl;
  }
  update_timer_.set(this);
}

void HdlcSlot::PutHeader(std::ostream& os) const {
  os << "HdlcSlot[" << trunk_ << "/*]: ";
}

void HdlcSlot::Trace(const char* text) const {
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << text << std::endl;
  }
}

bool HdlcSlot::IActivate(const TERM::TermActivateParams&) {
  Trace("IActivate");
  iactivate();
  return true;
}

bool HdlcSlot::IDeactivate() {
  OnUpdateTimer();
  return true;
}

void HdlcSlot::iactivate() {
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "Try to activate HDCL, params.tdm = " << channel_.rx_channel << std::endl;
  }
  if (!channel_.activate()) {
    OnDeactivated();
    return;
  }
  Trace("HDLC activated successfully");
}

bool HdlcSlot::IHwConnectTransmitter(Slot* destination) {
  Connect("IHwConnectTransmitter", destination->IGetReceiveChannel());
  return true;
}

bool HdlcSlot::IHwConnectReceiver(Slot* source) {
  Connect("IHwConnectReceiver", source->IGetTransmitChannel());
  return true;
}

void HdlcSlot::Connect(const char* operation, int tdm) {
  Trace(operation);
  channel_.rx_channel = tdm;
  channel_.mode = HDLC::kModeData;
  if (tdm != -1) {
    iactivate();
  }
}

bool HdlcSlot::IHwDisconnectTransmitter(Slot* destination) {
  Trace("IHwDisconnectTransmitter");
  (void)Slot::IHwDisconnectTransmitter(destination);
  channel_.deactivate();
  return true;
}

bool HdlcSlot::IHwDisconnectReceiver(Slot* source) {
  Trace("IHwDisconnectReceiver");
  (void)Slot::IHwDisconnectReceiver(source);
  channel_.deactivate();
  return true;
}

bool HdlcSlot::Ioctl(const LGCP::IoctlParams& params) {
  if (!params.is_hdlcPackages()) {
    return false;
  }
  for (const LGCP::HdlcPackage& package : params.get_hdlcPackages()) {
    Queue(package);
  }
  if (!queue_.empty() && channel_.is_ready()) {
    on_hdlc_ready();
  }
  return true;
}

void HdlcSlot::Queue(const LGCP::HdlcPackage& package) {
  const ASN1::OCTET_STRING& body = package.get_body();
  Packet packet;
  packet.reserve_head(0);
  packet.put16_b(address_);
  packet.put8(static_cast<uint8_t>(((send_counter_ << 5) & 0xe0) | receive_counter_));
  ++send_counter_;
  packet.put(reinterpret_cast<const uint8_t*>(body.data()), static_cast<unsigned>(body.size()));
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "enqueue package: " << packet.text() << std::endl;
  }
  if (queue_.put(packet)) {
    dropping_ = false;
    return;
  }
  ++overflow_;
  if (!dropping_) {
    dropping_ = true;
    std::cerr << ext::header(this) << "transmit queue full, packages dropped" << std::endl;
  }
}

void HdlcSlot::on_hdlc_ready() {
  Packet packet;
  while (queue_.preview(&packet)) {
    if (!channel_.hdlc_transmit(packet)) {
      return;
    }
    (void)queue_.get(&packet);
    if (traces.signalling.hdlc) {
      std::clog << ext::header(this) << "on_hdlc_ready" << packet.text() << std::endl;
    }
  }
}

void HdlcSlot::on_hdlc_receive(Packet& packet) {
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "on_hdlc_receive" << packet.text() << std::endl;
  }
  // Too short for address and control: nothing to take, nothing to end.
  if (packet.length() < kHeader) {
    return;
  }
  const bool more = packet.length() > kMoreOffset && (packet[kMoreOffset] & kMore) != 0;
  enqResponce(packet);
  const ASN1::SEQUENCE_OF<LGCP::HdlcPackage>& packages = response_.get_hdlcPackages();
  if (!more || packages.size() >= kBatchPackages || batch_octets_ >= kBatchOctets) {
    flushResponce();
  } else if (flush_timer_.get() == nullptr) {
    flush_timer_.set(kFlushMs, &HdlcSlot::flushResponce, this);
  }
}

void HdlcSlot::enqResponce(Packet packet) {
  const uint16_t address = packet.pull16_b();
  const uint8_t control = packet.pull8();
  if (address != address_) {
    return;
  }
  receive_counter_ = static_cast<uint8_t>(control >> 5);
  LGCP::HdlcPackage package;
  package.get_body().assign(packet.data(), packet.data() + packet.length());
  batch_octets_ += packet.length();
  response_.get_hdlcPackages().push_back(package);
}

void HdlcSlot::flushResponce() {
  flush_timer_.reset();
  ASN1::SEQUENCE_OF<LGCP::HdlcPackage>& packages = response_.get_hdlcPackages();
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "flushResponce: " << packages.size() << std::endl;
  }
  if (!packages.empty()) {
    OnIoctlResponse(response_);
  }
  packages.clear();
  batch_octets_ = 0;
}

void HdlcSlot::on_hdlc_error(Cause::Type) {
  std::clog << ext::header(this) << "on_hdlc_error" << std::endl;
}

void HdlcSlot::OnUpdateTimer() {
  update_timer_.set(this);
  UpdateHDLC_Statistics();
}

void HdlcSlot::UpdateHDLC_Statistics() {
  HDLC::Counters counters = channel_.counters();
  counters.txOverflow += overflow_;
  OnIoctlResponse(SignallingSlot::HdlcLinkReport(counters));
}
