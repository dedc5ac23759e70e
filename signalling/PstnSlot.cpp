#include "signalling/PstnSlot.h"

#include "signalling/SLC.h"
#include "signalling/SignallingSlot.h"
#include "signalling/TeiMessage.h"

#include <cstring>
#include <iostream>

namespace {

constexpr int kMaxTrunk = 3;
constexpr int kMaxTimeslot = 31;

// A terminal's data link repeats its SABME, its poll and its unacknowledged I
// frames each second until answered; while the channel holds one copy back, a
// second tells the terminal nothing more. An I frame resent with a newer N(R)
// (octet 4) is still the same frame: the waiting copy acknowledges less, never
// wrongly. Frames to the group TEI (TEI management, broadcasts) repeat on
// purpose, as the identity remove sent twice, and never count as repeats.
bool IsRepeatOf(const Packet& frame, const Packet& waiting) {
  const unsigned length = frame.length();
  if (length < 3 || waiting.length() != length || (frame[1] >> 1) == ISDN::Tei::kGroupTei) {
    return false;
  }
  const bool i_frame = (frame[2] & 1) == 0 && length >= 4;
  if (!i_frame) {
    return std::memcmp(frame.data(), waiting.data(), length) == 0;
  }
  return std::memcmp(frame.data(), waiting.data(), 3) == 0 &&
         std::memcmp(frame.data() + 4, waiting.data() + 4, length - 4) == 0;
}

}  // namespace

const TimerSpec<PstnSlot>::Spec PstnSlot::TUpdatespec = {&PstnSlot::OnUpdateTimer, kUpdateMs};

PstnSlot::PstnSlot(const LGCP::PstnParams& params) : ProtocolsFamily() {
  hdlc_.notify = this;
  if (params.is_ss7()) {
    const LGCP::SS7Params& ss7 = params.get_ss7();
    slc_ = new SS7::SLC();
    slc_->hdlc = &hdlc_;
    slc_->trunk = static_cast<unsigned>(ss7.get_trunk().getValue());
    slc_->slc = static_cast<unsigned>(ss7.get_slc().getValue());
    slc_->dpc = static_cast<unsigned>(ss7.get_dpc().getValue());
    slc_->opc = static_cast<unsigned>(ss7.get_opc().getValue());
    slc_->emergency = ss7.get_emergency().getValue();
    lower_ = slc_;
    add_protocol_tail(slc_);
    hdlc_.link = slc_->trunk;
    trunk_ = slc_->trunk - 1;
    kind_ = Kind::ss7;
  } else if (params.is_isdn()) {
    const LGCP::IsdnParams& isdn = params.get_isdn();
    const int log = isdn.get_log().getValue();
    const bool bri = isdn.get_type().getValue() == LGCP::IsdnType::bri;
    if (bri && isdn.get_side().is_network()) {
      lapdNT_ = new ISDN::LAPD_NT();
      lapdNT_->set_log(static_cast<unsigned>(log));
      add_protocol_tail(lapdNT_);
      kind_ = Kind::bri_network;
    } else {
      lapd_ = new ISDN::LAPD(ISDN::Side::user, 0);
      lapd_->side = isdn.get_side().is_network() ? ISDN::Side::network : ISDN::Side::user;
      lapd_->trunk = static_cast<unsigned>(isdn.get_trunk().getValue());
      lapd_->trace_level = static_cast<unsigned>(log);
      lapd_->hdlc = &hdlc_;
      lapd_->notify = this;
      lower_ = lapd_;
      hdlc_.log = log;
      hdlc_.link = lapd_->trunk;
      trunk_ = lapd_->trunk - 1;
      kind_ = Kind::pri;
      if (bri) {
        lapd_->change_to_bri();
        kind_ = Kind::bri_user;
      }
      add_protocol_tail(lapd_);
    }
  }
  statsTimer_.set(this);
}

PstnSlot::~PstnSlot() {
  // The layers go with the family after the channel: none may reach it then.
  if (slc_ != nullptr) {
    slc_->hdlc = nullptr;
  }
  if (lapd_ != nullptr) {
    lapd_->hdlc = nullptr;
  }
  hdlc_.unbind();
}

void PstnSlot::OnTrunkStatus(unsigned trunk, ACP::TrunkState::NamedNumber state) {
  if (trunk != trunk_ || slc_ == nullptr || state == lastTrunkState_) {
    return;
  }
  slc_->OnTrunkHardStatus(state == ACP::TrunkState::normal);
  lastTrunkState_ = state;
}

bool PstnSlot::IActivate(const TERM::TermActivateParams&) {
  // A CAS slot has no link to run, so no channel to open.
  if (kind_ != Kind::cas) {
    Activate();
  }
  return true;
}

bool PstnSlot::IDeactivate() {
  deactivate();
  return true;
}

void PstnSlot::Activate() {
  // Frames kept for the channel's last opening would reach a line that moved on.
  waiting_.clear();
  if (lapd_ != nullptr) {
    lapd_->DropWaitingResponses();
  }
  if (!hdlc_.activate()) {
    OnDeactivated();
    return;
  }
  activate();
}

bool PstnSlot::IUserData(const std::vector<char>& bytes) {
  // Without a link layer there is nothing to carry the message.
  return top() == nullptr || SignallingSlot::SendUserData(*this, bytes, [](std::ostream& os) { os << "pstn-slot: "; });
}

bool PstnSlot::Ioctl(const LGCP::IoctlParams& params) {
  if (slc_ == nullptr) {
    return false;
  }
  if (params.is_ss7RqBSN()) {
    LGCP::IoctlResponse response;
    response.select_ss7BSN().setValue(static_cast<int>(static_cast<unsigned>(slc_->bsnt())));
    OnIoctlResponse(response);
    return true;
  }
  if (params.is_ss7Log()) {
    const LGCP::SS7L2Log& log = params.get_ss7Log();
    slc_->log.state = log.get_state().getValue();
    slc_->log.raw_receive = log.get_raw_receive().getValue();
    slc_->log.raw_transmit = log.get_raw_transmit().getValue();
    slc_->log.mtp_transmit = log.get_mtp_transmit().getValue();
    slc_->log.mtp_receive = log.get_mtp_receive().getValue();
    slc_->log.mtp_activate = log.get_mtp_activate().getValue();
    slc_->log.timers = log.get_timers().getValue();
    slc_->log.msu_processing = log.get_msu_processing().getValue();
    return true;
  }
  return false;
}

bool PstnSlot::IHwConnectReceiver(Slot* source) {
  if (kind_ == Kind::cas) {
    return true;
  }
  if (!Bri()) {
    const int trunk = source->GetTrunk();
    if (trunk < 0 || trunk > kMaxTrunk) {
      std::cerr << "pstn-slot: invalid trunk number: " << trunk << std::endl;
      return false;
    }
    const int timeslot = source->GetTrunkTimeSlot();
    if (timeslot < 0 || timeslot > kMaxTimeslot) {
      std::cerr << "pstn-slot: invalid timeslot: " << timeslot << std::endl;
      return false;
    }
    hdlc_.trunk = static_cast<uint32_t>(trunk);
    hdlc_.timeslot = static_cast<uint32_t>(timeslot);
  }
  hdlc_.mode = kind_ == Kind::ss7 ? HDLC::kModeSs7 : kind_ == Kind::pri ? HDLC::kModeData : HDLC::kModeBri;
  hdlc_.rx_channel = source->IGetTransmitChannel();
  if (!Bri() || hdlc_.tx_channel != -1) {
    Activate();
  }
  return true;
}

bool PstnSlot::IHwConnectTransmitter(Slot* destination) {
  if (!Bri()) {
    return true;
  }
  hdlc_.tx_channel = destination->IGetReceiveChannel();
  if (hdlc_.rx_channel != -1) {
    Activate();
  }
  return true;
}

bool PstnSlot::IHwDisconnectTransmitter(Slot* destination) {
  if (Bri()) {
    deactivate();
  }
  (void)Slot::IHwDisconnectTransmitter(destination);
  if (Bri()) {
    hdlc_.deactivate();
    hdlc_.tx_channel = -1;
  }
  return true;
}

bool PstnSlot::IHwDisconnectReceiver(Slot* source) {
  deactivate();
  (void)Slot::IHwDisconnectReceiver(source);
  // The channel's paths go with it: a channel left open would keep feeding the timeslot.
  hdlc_.deactivate();
  if (Bri()) {
    hdlc_.rx_channel = -1;
  }
  return true;
}

void PstnSlot::on_hdlc_receive(Packet& packet) {
  if (lower_ != nullptr) {
    lower_->on_hdlc_receive(packet);
  } else if (lapdNT_ != nullptr) {
    lapdNT_->receive(packet);
  }
}

void PstnSlot::on_hdlc_error(Cause::Type cause) {
  if (lower_ != nullptr) {
    lower_->on_hdlc_error(cause);
    return;
  }
  if (lapdNT_ != nullptr) {
    // The channel closed itself: what waits for it can never leave.
    waiting_.clear();
    lapdNT_->on_hdlc_error();
  }
}

void PstnSlot::on_hdlc_ready() {
  if (lower_ != nullptr) {
    lower_->on_hdlc_ready();
  } else if (lapdNT_ != nullptr) {
    (void)waiting_.Resume([this](Packet& frame) { return Write(frame); });
  }
}

void PstnSlot::transmit(Packet& packet) {
  if (kind_ != Kind::bri_network) {
    return;
  }
  if (waiting_.Holds([&packet](const Packet& waiting) { return IsRepeatOf(packet, waiting); })) {
    return;
  }
  if (waiting_.Send(packet, true, [this](Packet& frame) { return Write(frame); }) == Waiting::Sent::lost) {
    std::cerr << "pstn-slot: too many frames wait for the channel, one is lost" << std::endl;
  }
}

bool PstnSlot::Write(Packet& frame) {
  // Only a channel that pushed back calls again when ready; it counts the
  // frames any other failure loses.
  return hdlc_.hdlc_transmit(frame) || !hdlc_.is_open() || hdlc_.is_ready();
}

void PstnSlot::on_activated(Protocol*) {
  SendIsdnInfo();
  SendSs7Info();
  OnActivated();
}

void PstnSlot::on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status>) {
  SendIsdnInfo();
  SendSs7Info();
  OnUpdateTimer();
  OnDeactivated();
}

void PstnSlot::on_message(Packet& packet) {
  OnUserData(SignallingSlot::UserDataOf(packet));
}

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* link) {
  LGCP::IoctlResponse response;
  response.select_isdnLinkStatus().setValue(link->flow_status() == ISDN::LAPD::FlowStatus::busy
                                                ? LGCP::IsdnLinkStatus::congested
                                                : LGCP::IsdnLinkStatus::normal);
  OnIoctlResponse(response);
}

void PstnSlot::OnUpdateTimer() {
  statsTimer_.set(this);
  OnIoctlResponse(SignallingSlot::HdlcLinkReport(hdlc_.counters()));
  SendIsdnInfo();
  SendSs7Info();
}

void PstnSlot::SendIsdnInfo() {
  if (lapd_ == nullptr) {
    return;
  }
  LGCP::IoctlResponse response;
  if (lapd_->GetInfo(response.select_isdnLinkInfo())) {
    OnIoctlResponse(response);
  }
}

void PstnSlot::SendSs7Info() {
  if (slc_ == nullptr) {
    return;
  }
  const SS7::SLC::Statistics& stats = slc_->statistics();
  LGCP::IoctlResponse response;
  ACP::SS7LinkInfo& info = response.select_ss7LinkInfo();
  info.set_msuTxCount(static_cast<int>(stats.msuTx));
  info.set_msuRxCount(static_cast<int>(stats.msuRx));
  info.set_octetsTx(static_cast<int>(stats.octetsTx));
  info.set_octetsRx(static_cast<int>(stats.octetsRx));
  info.set_speedRx(0);
  info.set_speedTx(0);
  info.set_overflowCntr(static_cast<int>(stats.overflow));
  info.set_rtbSize(static_cast<int>(stats.rtbSize));
  info.set_repeatCntr(static_cast<int>(stats.repeat));
  info.set_badSeqCntr(static_cast<int>(stats.badSeq));
  info.set_ss7state(static_cast<ACP::SS7State::NamedNumber>(slc_->get_state_id()));
  OnIoctlResponse(response);
}
