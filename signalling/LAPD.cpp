#include "signalling/LAPD.h"

#include "hardware/GenericHDLC.h"
#include "runtime/clock/Mux.h"
#include "runtime/log/Ext.h"
#include "signalling/LAPDFrame.h"
#include "signalling/Q931FrameLog.h"

#include <unistd.h>

#include <cassert>
#include <iostream>

namespace ISDN {

char logbuf[1024];

namespace {

const char* const kStateNames[] = {
    "TEI unassigned",         "Assign awaiting TEI", "Establish awaiting TEI",     "TEI assigned",
    "Awaiting establishment", "Awaiting release",    "Multiple frame established", "Timer recovery"};

const char* RunText(bool running) {
  return running ? "running" : "stopped";
}

std::seed_seq::result_type Low32(uintptr_t value) {
  return static_cast<std::seed_seq::result_type>(value ^ (uint64_t{value} >> 32));
}

}  // namespace

std::ostream& operator<<(std::ostream& os, Side::type side) {
  return os << (side == Side::network ? "network" : "user");
}

const char* statetext(unsigned char state) {
  return state < 8 ? kStateNames[state] : "(unknown)";
}

void LAPDFullState::out(std::ostream& os) const {
  os << "   - state: " << statetext(static_cast<unsigned char>(state)) << "\n   - self: TEI=" << own_tei
     << ", SAPI=" << own_sapi << ", busy=" << own_busy << "\n   - peer: TEI=" << peer_tei << ", SAPI=" << peer_sapi
     << ", busy=" << peer_busy << "\n   - counters: VS=" << vs << ", VA=" << va << ", VR=" << vr << ", RC=" << rc
     << "\n   - internal signals: AckRQ=" << acknowledge_request << ", RetrRQ=" << retransmission_request
     << ", QueuedUp=" << queued_up << "\n   - flags: L3Initiated=" << l3_initiated
     << ", Establishable=" << establishable << ", RejectException=" << reject_exception << "\n   - timers: T200 "
     << RunText(t200_running) << ", T202 " << RunText(t202_running) << ", T203 " << RunText(t203_running);
}

void LAPD::Stats::out(std::ostream& os) const {
  os << "\n   - timers expire count: T200: " << t200 << ", T202: " << t202 << ", T203: " << t203
     << "\n   - errors: " << errors << ", retrains: " << retrains << "\n   - queue overflows: out: " << out_overflows
     << ", ack: " << ack_overflows;
}

LAPD::Status::Status(LAPD* link, std::string text) : Protocol_status_error(link, std::move(text)) {
  if (link != nullptr) {
    static_cast<LAPDFullState&>(*this) = link->full_state();
    return;
  }
  state = 0;
  establishable = false;
}

void LAPD::Status::out(std::ostream& os) const {
  os << message() << '\n';
  LAPDFullState::out(os);
}

LAPD::LAPD(Side::type side, unsigned trace_level) : side(side), trace_level(trace_level) {
  // No two links, nor two boards, may draw the same references.
  static uint32_t links = 0;
  std::seed_seq seed{static_cast<std::seed_seq::result_type>(getpid()), Mux::milliseconds(), Mux::microseconds(),
                     ++links, Low32(reinterpret_cast<uintptr_t>(this))};
  ri_source_.seed(seed);
}

LAPD::~LAPD() = default;

void LAPD::PutHeader(std::ostream& os) const {
  os << "LAPD[" << trunk << "] (" << state_text() << "): ";
}

void LAPD::local_prepare_head(Packet& packet) {
  packet.reserve_head(4);
}

void LAPD::local_prepare_tail(Packet& packet) {
  packet.reserve_tail(0);
}

void LAPD::show_stat() {
  std::cout << " - current state: " << state_text() << "\n - statistics: ";
  stats_.out(std::cout);
  std::cout << std::endl;
}

Smart_pointer<Internal_protocol_status> LAPD::status() {
  return Smart_pointer<Internal_protocol_status>(new Status(this, "current status"));
}

bool LAPD::GetInfo(ACP::IsdnLinkInfo& info) {
  info.set_side(side == Side::network ? ACP::IsdnSide::network : ACP::IsdnSide::user);
  info.set_msuTxCount(static_cast<int>(stats_.tx));
  info.set_msuRxCount(static_cast<int>(stats_.rx));
  info.set_mT200(static_cast<int>(stats_.t200));
  info.set_mT203(static_cast<int>(stats_.t203));
  info.set_errors(static_cast<int>(stats_.errors));
  info.set_retrains(static_cast<int>(stats_.retrains));
  info.set_rejected(static_cast<int>(stats_.rejected));
  info.set_badconfirm(static_cast<int>(stats_.badconfirm));
  info.set_outOverflows(static_cast<int>(stats_.out_overflows));
  info.set_ackOverflows(static_cast<int>(stats_.ack_overflows));
  info.set_lapdState(static_cast<ACP::LAPDState::NamedNumber>(state));
  info.set_rc(static_cast<int>(rc));
  info.set_peerBusy(peer_busy);
  info.set_ownBusy(own_busy);
  info.set_rejException(reject_exception);
  info.set_ackPending(false);
  info.set_l3Initiated(l3_initiated);
  info.set_establishable(establishable);
  info.set_queuedUpRQ(queued_up);
  info.set_retrRQ(retransmission_request);
  info.set_ackRQ(acknowledge_request);
  info.set_t200run(t200_running);
  info.set_t203run(t203_running);
  info.set_vs(static_cast<int>(unsigned{vs}));
  info.set_va(static_cast<int>(unsigned{va}));
  info.set_vr(static_cast<int>(unsigned{vr}));
  info.set_queueOut(static_cast<int>(out_.count()));
  info.set_queueAck(static_cast<int>(ack_.count()));
  if (info.compare(reported_) == 0) {
    return false;
  }
  reported_ = info;
  return true;
}

// ---- Channel.

void LAPD::on_hdlc_receive(Packet& packet) {
  receive(packet);
}

void LAPD::on_hdlc_error(Cause::Type cause) {
  std::cerr << ext::header(this) << "hdlc error [cause=" << cause << "]" << std::endl;
  // The channel closed itself: nothing queued can leave and no timer can be answered.
  DiscardQueues();
  waiting_responses_.clear();
  timer_.reset();
  t200_running = t202_running = t203_running = false;
  const bool was_up = state >= kAwaitingEstablishment;
  if (state == kAssignAwaitingTei || state == kEstablishAwaitingTei) {
    NextState(kTeiUnassigned);
  } else if (was_up) {
    NextState(kTeiAssigned);
  }
  if (was_up) {
    ReleasedWithError("error (HDLC failure)");
  }
}

void LAPD::on_hdlc_ready() {
  (void)waiting_responses_.Resume([this](Packet& frame) { return xmit(frame) == Send::taken; });
  LocalEvents();
}

LAPD::Send LAPD::xmit(Packet& frame) {
  if (hdlc == nullptr) {
    if (trace_level > 3) {
      std::clog << ext::header(this) << "no HDLC device attached!!!" << std::endl;
    }
    return Send::refused;
  }
  if (!hdlc->hdlc_transmit(frame)) {
    // Only a channel that pushed back calls again when ready; any other
    // failure loses the frame, and the link's own recovery resends I frames.
    if (hdlc->is_open() && !hdlc->is_ready()) {
      std::clog << ext::header(this) << "tx full" << std::endl;
      return Send::refused;
    }
    ++stats_.errors;
    std::cerr << ext::header(this) << "hdlc channel failed to send a frame, it is lost" << std::endl;
    return Send::taken;
  }
  if (trace_level > 2) {
    Trace(true, frame.data(), frame.length());
  }
  return Send::taken;
}

LAPD::Send LAPD::Transmit(Packet& frame, bool response) {
  // Without a channel nothing would ever send a kept response.
  const auto sent = waiting_responses_.Send(frame, response && hdlc != nullptr,
                                            [this](Packet& waiting) { return xmit(waiting) == Send::taken; });
  if (sent == Waiting::Sent::lost) {
    ++stats_.errors;
    std::cerr << ext::header(this) << "too many responses wait for the channel, one is lost" << std::endl;
  }
  return sent == Waiting::Sent::refused ? Send::refused : Send::taken;
}

void LAPD::Trace(bool sent, const uint8_t* bytes, unsigned length) const {
  // What the network side sends and the user side receives travels network to user.
  dlogframe(bytes, length, sent == (side == Side::network) ? 1 : 0, logbuf, sizeof logbuf);
  std::clog << ext::header(this) << (sent ? "tx: " : "rx:") << logbuf << std::endl;
}

// C/R is 1 for a command from the network or a response from the user.
LAPD::Send LAPD::tx_U(uint8_t code, bool command, bool pf) {
  Packet frame = LAPDFrame::UFrame(own_sapi, own_tei, command != (side == Side::user), code, pf);
  return Transmit(frame, !command);
}

LAPD::Send LAPD::tx_S(uint8_t code, bool command, bool pf, bool keep) {
  Packet frame = LAPDFrame::SFrame(own_sapi, own_tei, command != (side == Side::user), code, vr, pf);
  return Transmit(frame, !command && keep);
}

LAPD::Send LAPD::tx_I(const Packet& message) {
  Packet frame = message;
  if (frame.get()->_headroom() < 4) {
    frame = Packet();
    frame.reserve_head(4);
    frame.put(message);
  }
  // [N(R):7|P=0] after [N(S):7|0]
  frame.push8(static_cast<uint8_t>(unsigned{vr} << 1));
  frame.push8(static_cast<uint8_t>(unsigned{vs} << 1));
  LAPDFrame::PushAddress(frame, own_sapi, own_tei, side == Side::network);
  return Transmit(frame, false);
}

bool LAPD::IsCommand(uint8_t octet1) const {
  return ((octet1 & 2) != 0) == (side == Side::user);
}

// Q.921 3.2-3.4: address, control and N(S)/N(R) octets. False for a frame to
// drop; invalid ones are counted.
bool LAPD::Decode(const Packet& packet, Frame& frame) {
  const unsigned length = packet.length();
  if (length < 3 || (packet[0] & 1) != 0 || (packet[1] & 1) == 0) {
    ++stats_.errors;
    return false;
  }
  const unsigned sapi = packet[0] >> 2;
  const unsigned tei = packet[1] >> 1;
  peer_sapi = sapi;
  peer_tei = tei;
  if (bri_ && side == Side::user && tei != own_tei && tei != 127) {
    return false;
  }
  frame.command = IsCommand(packet[0]);
  const uint8_t control = packet[2];
  if ((control & 1) == 0 || (control & 3) == 1) {
    if (length < 4) {
      ++stats_.errors;
      return false;
    }
    frame.pf = (packet[3] & 1) != 0;
    frame.nr = packet[3] >> 1;
    if ((control & 1) == 0) {
      frame.kind = Frame::kI;
      frame.ns = control >> 1;
    } else {
      static const Frame::Kind kSupervisory[] = {Frame::kRR, Frame::kRNR, Frame::kREJ, Frame::kIgnored};
      frame.kind = kSupervisory[(control >> 2) & 3];
    }
  } else {
    frame.pf = (control & LAPDFrame::kUPollFinal) != 0;
    switch (control & ~LAPDFrame::kUPollFinal) {
      case LAPDFrame::kDISC:
        frame.kind = Frame::kDISC;
        break;
      case LAPDFrame::kUI:
        frame.kind = Frame::kUI;
        break;
      case LAPDFrame::kDM:
        frame.kind = Frame::kDM;
        break;
      case LAPDFrame::kSABME:
        frame.kind = Frame::kSABME;
        break;
      case LAPDFrame::kUA:
        frame.kind = Frame::kUA;
        break;
      case LAPDFrame::kFRMR:
        frame.kind = Frame::kFRMR;
        break;
      default:
        frame.kind = Frame::kIgnored;
        break;
    }
  }
  // SAPI 63 carries TEI management, in UI frames only.
  if (sapi != own_sapi && !(sapi == 63 && frame.kind == Frame::kUI)) {
    ++stats_.errors;
    return false;
  }
  return true;
}

void LAPD::receive(Packet& packet) {
  if (trace_level > 2 && packet.length() >= 2) {
    Trace(false, packet.data(), packet.length());
  }
  Frame frame;
  if (!Decode(packet, frame)) {
    return;
  }
  const char* const kind = frame.command ? "command" : "response";
  const char* const kUNames[] = {nullptr, nullptr, nullptr, nullptr, "SABME ", "DISC ", "UA ", "DM ", "FRMR "};
  if (trace_level > 3 && frame.kind >= Frame::kSABME && frame.kind <= Frame::kFRMR) {
    std::clog << ext::header(this) << kUNames[frame.kind] << kind << std::endl;
  }
  if (trace_level > 3 && frame.kind >= Frame::kRR && frame.kind <= Frame::kREJ) {
    const char* const names[] = {"RR ", "RNR ", "REJ "};
    std::clog << ext::header(this) << names[frame.kind - Frame::kRR] << kind << " pf=" << frame.pf << std::endl;
  }
  Packet info = packet;
  switch (frame.kind) {
    case Frame::kI:
      for (int i = 0; i < 4; ++i) {
        info.pull8();
      }
      OnI(frame, info);
      break;
    case Frame::kUI:
      for (int i = 0; i < 3; ++i) {
        info.pull8();
      }
      on_UI(info);
      break;
    case Frame::kRR:
      OnRR(frame);
      break;
    case Frame::kRNR:
      OnRNR(frame);
      break;
    case Frame::kREJ:
      OnREJ(frame);
      break;
    case Frame::kSABME:
      OnSABME(frame);
      break;
    case Frame::kDISC:
      OnDISC(frame);
      break;
    case Frame::kUA:
      OnUA(frame);
      break;
    case Frame::kDM:
      OnDM(frame);
      break;
    case Frame::kFRMR:
      OnFRMR();
      break;
    case Frame::kIgnored:
      break;
  }
  LocalEvents();
}

// ---- DL-DATA, local events and queues.

void LAPD::message(Packet& packet) {
  ++stats_.tx;
  if (packet.length() == 0) {
    ++stats_.empty;
    return;
  }
  if (out_.count() > kOutLimit) {
    std::cerr << ext::header(this) << "discard outgoing message: buffer overflow" << std::endl;
    ++stats_.out_overflows;
    return;
  }
  if (trace_level > 2) {
    if (out_.count() > kWindow) {
      std::clog << ext::header(this) << "outgoing queue size = " << out_.count() << " tx counter = " << stats_.tx
                << std::endl;
    }
    std::clog << ext::header(this) << "add to tx queue: " << packet.text() << std::endl;
  }
  const bool queued = out_.put(packet);
  assert(queued && "the out queue keeps room above its limit for a window of retransmissions");
  (void)queued;
  queued_up = true;
  // A BRI link without a TEI asks for one rather than keep the message for ever.
  if (state == kTeiUnassigned) {
    (void)BeginTeiAssignProcedure();
  }
  if (out_.count() > kBusyAbove) {
    SetFlow(FlowStatus::busy);
  }
  LocalEvents();
}

void LAPD::LocalEvents() {
  const unsigned outstanding = vs - va;
  unsigned acknowledged = 0;
  for (Packet done; ack_.count() > outstanding; ++acknowledged) {
    (void)ack_.get(&done);
  }
  if (trace_level > 2 && acknowledged > 0) {
    std::clog << ext::header(this) << "acknowledge " << acknowledged << " frames"
              << " VS=" << vs << " VA=" << va << std::endl;
    if (out_.empty()) {
      std::clog << ext::header(this) << "outgoing queue empty." << std::endl;
    }
  }
  if (retransmission_request) {
    if (!ack_.empty() && trace_level > 0) {
      std::clog << ext::header(this) << "retransmission "
                << " VS=" << vs << " VA=" << va << std::endl;
    }
    vs = va;
    // Newest first to the head, so they leave again in their old order.
    for (Packet again; ack_.get_last(&again); ++stats_.retrains) {
      const bool queued = out_.append(again);
      assert(queued && "out and ack queues together never hold more than the out queue's capacity");
      (void)queued;
    }
    retransmission_request = false;
  }
  if (queued_up) {
    queued_up = false;
    switch (state) {
      case kMultipleFrameEstablished:
        SendQueued();
        break;
      case kTimerRecovery:
        queued_up = true;
        break;
      case kAwaitingEstablishment:
        queued_up = !l3_initiated;
        break;
      default:
        break;
    }
  }
  // A refused acknowledgement does not wait: the request stays, and the next
  // I frame carries it, or an RR with the N(R) of then.
  if (acknowledge_request && (state == kMultipleFrameEstablished || state == kTimerRecovery) &&
      tx_S(LAPDFrame::kRR, false, false, false) == Send::taken) {
    acknowledge_request = false;
  }
  if (out_.count() < kNormalBelow) {
    SetFlow(FlowStatus::normal);
  }
}

void LAPD::SendQueued() {
  for (Packet head; out_.preview(&head);) {
    if (peer_busy || vs == va + Sequence(kWindow) || tx_I(head) == Send::refused) {
      queued_up = true;
      return;
    }
    (void)out_.get(&head);
    if (!ack_.put(head)) {
      std::cerr << ext::header(this) << "ack queue overflow!" << std::endl;
      ++stats_.ack_overflows;
    }
    ++vs;
    acknowledge_request = false;
    if (!t200_running) {
      StopTimer(TimerId::t203);
      StartTimer(TimerId::t200);
    }
  }
}

void LAPD::SetFlow(FlowStatus::Type flow) {
  if (flow == flow_status_) {
    return;
  }
  flow_status_ = flow;
  if (notify != nullptr) {
    notify->OnLAPD_FlowStatusChange(this);
  }
}

void LAPD::DiscardQueues() {
  if (trace_level > 0) {
    std::clog << ext::header(this) << "discard queue "
              << " OutData=" << out_.count() << " AckData=" << ack_.count() << std::endl;
  }
  for (Packet dropped; out_.get(&dropped);) {
  }
  EmptyAckQueue();
  // Nothing is left to acknowledge, and nothing waits to go out.
  va = vs;
  queued_up = false;
  SetFlow(FlowStatus::normal);
}

void LAPD::EmptyAckQueue() {
  for (Packet dropped; ack_.get(&dropped);) {
  }
}

void LAPD::NextState(uint32_t target) {
  if (target == state) {
    return;
  }
  const bool recovery_swap = (state == kMultipleFrameEstablished && target == kTimerRecovery) ||
                             (state == kTimerRecovery && target == kMultipleFrameEstablished);
  if (trace_level > 3 || (trace_level > 1 && !recovery_swap)) {
    std::clog << "LAPD[" << trunk << "] : change state " << ext::quoted(state_text()) << " -> "
              << ext::quoted(statetext(static_cast<unsigned char>(target))) << std::endl;
  }
  state = target;
  // Messages queued while the link was down go out once it is up, not at the next DL-DATA.
  if (state == kMultipleFrameEstablished && !out_.empty()) {
    queued_up = true;
  }
}

// ---- Timers: one slot, three names.

bool& LAPD::RunningFlag(TimerId id) {
  switch (id) {
    case TimerId::t200:
      return t200_running;
    case TimerId::t202:
      return t202_running;
    case TimerId::t203:
      return t203_running;
  }
  return t200_running;
}

namespace {

const char* TimerName(int id) {
  static const char* const kNames[] = {"T200", "T202", "T203"};
  return kNames[id];
}

}  // namespace

void LAPD::StartTimer(TimerId id) {
  for (int other = 0; other < 3; ++other) {
    if (other != static_cast<int>(id) && RunningFlag(static_cast<TimerId>(other))) {
      Report(std::string("trying to start ") + TimerName(static_cast<int>(id)) + " while " + TimerName(other) +
             " running");
      // The one slot is taken over: the other timer no longer runs.
      RunningFlag(static_cast<TimerId>(other)) = false;
    }
  }
  StopTimer(id);
  RunningFlag(id) = true;
  static const unsigned kMs[] = {kT200, kT202, kT203};
  timer_.set(kMs[static_cast<int>(id)], &LAPD::OnTimer, this);
}

void LAPD::StopTimer(TimerId id) {
  if (!RunningFlag(id)) {
    return;
  }
  for (int other = 0; other < 3; ++other) {
    if (other != static_cast<int>(id) && RunningFlag(static_cast<TimerId>(other))) {
      Report(std::string("trying to stop ") + TimerName(static_cast<int>(id)) + " while " + TimerName(other) +
             " running");
    }
  }
  RunningFlag(id) = false;
  timer_.reset();
}

void LAPD::OnTimer() {
  if (t200_running) {
    t200_running = false;
    ++stats_.t200;
    OnT200();
  } else if (t202_running) {
    t202_running = false;
    ++stats_.t202;
    OnT202();
  } else if (t203_running) {
    t203_running = false;
    ++stats_.t203;
    OnT203();
  }
  LocalEvents();
}

}  // namespace ISDN
