// One terminal's data link on the network side of a basic-rate interface.
#include "runtime/log/Ext.h"
#include "signalling/LAPDFrame.h"
#include "signalling/LAPDNT.h"

#include <iostream>

namespace ISDN {
namespace {

using namespace LAPDFrame;

// The entries speak SAPI 0 only.
constexpr unsigned kSapi = 0;

}  // namespace

void LAPD_NT_user::PutHeader(std::ostream& os) const {
  os << "LAPD_user(NT BRI)[";
  if (state_ == kUnassigned) {
    os << "unassigned]:";
    return;
  }
  os << "Tei=" << unsigned{tei_} << (state_ == kAssigned ? ",assigned" : ",wait_answer") << (checking_ ? ",check" : "")
     << (busy_ ? ",busy" : "") << "]";
}

void LAPD_NT_user::Trace(const char* text) const {
  if (trace_level_ > 1) {
    std::clog << ext::header(this) << " " << text << std::endl;
  }
}

void LAPD_NT_user::assign(unsigned tei) {
  if (checking_ && state_ != kUnassigned) {
    checking_ = false;
    check_timer_.reset();
    Trace("checked");
    return;
  }
  tei_ = static_cast<uint8_t>(tei);
  state_ = kAssigned;
  Trace("assigned");
  busy_ = false;
  checking_ = false;
  check_timer_.reset();
  ri_.reset();
  out_.clear();
  Establish();
}

void LAPD_NT_user::unassign() {
  Trace("unassigned");
  state_ = kUnassigned;
  link_ = Link::kDown;
  checking_ = false;
  timer_.reset();
  check_timer_.reset();
  out_.clear();
  ack_.clear();
}

void LAPD_NT_user::remove() {
  const unsigned tei = tei_;
  owner_->remove_tei(tei);
  unassign();
}

void LAPD_NT_user::checking() {
  if (state_ == kUnassigned) {
    return;
  }
  checking_ = true;
  Trace("checking started");
  check_timer_.set(kCheckWait, &LAPD_NT_user::OnCheckTimer, this);
}

void LAPD_NT_user::OnCheckTimer() {
  if (checking_) {
    Trace("TEI check not answered");
    remove();
  }
}

// SABME, sequence numbers from 0; the link is up when the UA arrives.
void LAPD_NT_user::Establish() {
  vs_ = va_ = vr_ = 0;
  ack_.clear();
  reject_exception_ = false;
  link_ = Link::kSetup;
  tx_U(kSABME, true, true);
  state_ = kWaitAnswer;
  retries_ = 0;
  timer_.set(kAnswerWait, &LAPD_NT_user::on_timer, this);
}

// DISC, DM or FRMR: the data link is down, the TEI stays reserved.
void LAPD_NT_user::Release() {
  Trace("data link released");
  link_ = Link::kDown;
  vs_ = va_ = vr_ = 0;
  out_.clear();
  ack_.clear();
  busy_ = false;
  state_ = kAssigned;
  timer_.reset();
}

bool LAPD_NT_user::message(const Packet& l3) {
  if (state_ == kUnassigned || l3.length() < 3 || (l3[2] & 0x7F) != call_ref_) {
    return false;
  }
  if (out_.count() >= kOutLimit) {
    Packet dropped;
    (void)out_.get(&dropped);
    Trace("out queue full, oldest message dropped");
  }
  (void)out_.put(l3);
  (void)Pump();
  return true;
}

// Sends what the window and the terminal allow; a released link is set up first.
bool LAPD_NT_user::Pump() {
  if (state_ == kUnassigned) {
    return false;
  }
  if (link_ == Link::kDown && !out_.empty()) {
    Establish();
    return false;
  }
  bool sent = false;
  for (Packet l3; link_ == Link::kUp && !busy_ && outstanding() < kWindow && out_.get(&l3); ++vs_) {
    tx_I(l3, vs_);
    (void)ack_.put(l3);
    sent = true;
  }
  if (sent && state_ != kWaitAnswer) {
    state_ = kWaitAnswer;
    timer_.set(kAnswerWait, &LAPD_NT_user::on_timer, this);
  }
  return sent;
}

bool LAPD_NT_user::ack_queue(Sequence nr) {
  Trace("ack queue");
  if (!(va_ <= nr <= vs_)) {
    Trace("N(R) out of the window, data link set up again");
    Establish();
    return false;
  }
  const bool progress = nr != va_;
  va_ = nr;
  for (Packet done; ack_.count() > outstanding();) {
    (void)ack_.get(&done);
  }
  if (outstanding() == 0) {
    state_ = kAssigned;
    retries_ = 0;
    timer_.set(kIdlePoll, &LAPD_NT_user::on_timer, this);
  } else if (progress || state_ != kWaitAnswer) {
    state_ = kWaitAnswer;
    retries_ = 0;
    timer_.set(kAnswerWait, &LAPD_NT_user::on_timer, this);
  }
  return true;
}

// Sends every unacknowledged frame again, oldest first, with its own N(S) and
// the N(R) of now. V(S) stays: acknowledgements of the first sending, still
// on their way, remain inside the window.
void LAPD_NT_user::ResendFrom() {
  Trace("retransmit queue");
  Sequence ns = va_;
  for (unsigned n = ack_.count(); n > 0; --n, ++ns) {
    Packet again;
    (void)ack_.get(&again);
    tx_I(again, ns);
    (void)ack_.put(again);
  }
}

void LAPD_NT_user::on_timer() {
  if (state_ == kAssigned && link_ == Link::kUp) {
    state_ = kWaitAnswer;
    tx_S(kRR, true, true);
    retries_ = 0;
    timer_.set(kAnswerWait, &LAPD_NT_user::on_timer, this);
    return;
  }
  if (state_ != kWaitAnswer) {
    return;
  }
  if (retries_ >= kRetries) {
    Trace("T200 expiried N200 times");
    remove();
    return;
  }
  ++retries_;
  if (link_ == Link::kSetup) {
    tx_U(kSABME, true, true);
  } else if (ack_.empty()) {
    tx_S(kRR, true, true);
  } else {
    ResendFrom();
  }
  timer_.set(kAnswerWait, &LAPD_NT_user::on_timer, this);
}

void LAPD_NT_user::set_busy() {
  if (!busy_) {
    Trace("set busy");
  }
  busy_ = true;
}

void LAPD_NT_user::set_unbusy() {
  if (busy_) {
    Trace("set unbusy");
  }
  busy_ = false;
}

void LAPD_NT_user::receive(const Packet& frame, bool response) {
  // A terminal that speaks on its TEI is alive, whether or not its check
  // answer made it through.
  if (checking_) {
    checking_ = false;
    check_timer_.reset();
    Trace("checked by its traffic");
  }
  const uint8_t control = frame[2];
  if ((control & 1) != 0 && (control & 3) != 1) {
    OnU(static_cast<uint8_t>(control & ~kUPollFinal), !response, (control & kUPollFinal) != 0);
    return;
  }
  // I and supervisory frames carry a fourth octet; shorter ones are invalid.
  if (frame.length() < 4) {
    Trace("frame too short, dropped");
    return;
  }
  const bool pf = (frame[3] & 1) != 0;
  const Sequence nr = frame[3] >> 1;
  if ((control & 1) != 0) {
    OnS(control, !response, pf, nr);
  } else if (!response) {
    OnI(frame, pf, control >> 1, nr);
  }
}

void LAPD_NT_user::OnI(const Packet& frame, bool poll, Sequence ns, Sequence nr) {
  Trace("received I frame");
  if (link_ == Link::kDown) {
    // The terminal thinks the link is up: DM makes it set it up again.
    tx_U(kDM, false, poll);
    return;
  }
  if (link_ != Link::kUp) {
    return;
  }
  const bool in_sequence = ns == vr_;
  if (in_sequence) {
    ++vr_;
    reject_exception_ = false;
    if (poll) {
      tx_S(kRR, false, true);
    }
  } else if (!reject_exception_) {
    reject_exception_ = true;
    tx_S(kREJ, false, poll);
  } else if (poll) {
    tx_S(kRR, false, true);
  }
  // An I frame of ours carries the acknowledgement; without one, an RR does.
  // A bad N(R) sets the link up again, but the message is taken all the same:
  // V(R) has counted it already.
  if (ack_queue(nr) && !Pump() && in_sequence && !poll) {
    tx_S(kRR, false, false);
  }
  if (in_sequence && frame.length() > 4 + 3) {
    Packet l3 = frame.sub(frame.length() - 4, 4);
    call_ref_ = l3[2] & 0x7F;
    owner_->on_message(l3);
  }
}

void LAPD_NT_user::OnS(uint8_t control, bool command, bool pf, Sequence nr) {
  switch (control) {
    case kRR:
      Trace("received RR frame");
      break;
    case kRNR:
      Trace("received RNR frame");
      break;
    case kREJ:
      Trace("received REJ frame");
      break;
    default:
      return;
  }
  if (link_ != Link::kUp) {
    return;
  }
  if (command && pf) {
    tx_S(kRR, false, true);
  }
  if (control == kRNR) {
    set_busy();
  } else {
    set_unbusy();
  }
  // Every I frame polls; only in recovery (after an expiry) does an answer
  // that leaves frames outstanding say they were lost.
  const bool recovering = retries_ > 0;
  if (!ack_queue(nr)) {
    return;
  }
  if (control == kREJ || (!command && pf && recovering && outstanding() > 0)) {
    ResendFrom();
  }
  (void)Pump();
}

void LAPD_NT_user::OnU(uint8_t code, bool command, bool pf) {
  switch (code) {
    case kSABME:
      if (!command) {
        return;
      }
      Trace("received SABME frame");
      vs_ = va_ = vr_ = 0;
      ack_.clear();
      reject_exception_ = false;
      busy_ = false;
      if (pf) {
        tx_U(kUA, false, true);
      }
      link_ = Link::kUp;
      (void)ack_queue(0);
      (void)Pump();
      return;
    case kUA:
      if (command || link_ != Link::kSetup) {
        return;
      }
      Trace("received UA frame");
      link_ = Link::kUp;
      (void)ack_queue(0);
      (void)Pump();
      return;
    case kDISC:
      if (!command) {
        return;
      }
      Trace("received DISC frame");
      if (pf) {
        tx_U(kUA, false, true);
      }
      Release();
      return;
    case kDM:
    case kFRMR:
      if (command) {
        return;
      }
      Trace(code == kDM ? "received DM frame" : "received FRMR frame");
      Release();
      return;
    case kXID:
      Trace("received XID frame");
      return;
    default:
      return;
  }
}

// The network sends commands with C/R 1.
void LAPD_NT_user::tx_U(uint8_t code, bool command, bool pf) {
  Packet frame = UFrame(kSapi, tei_, command, code, pf);
  owner_->send(frame);
}

void LAPD_NT_user::tx_S(uint8_t code, bool command, bool pf) {
  Packet frame = SFrame(kSapi, tei_, command, code, vr_, pf);
  owner_->send(frame);
}

// [N(S)|0] [N(R)|P=1], with the N(R) of now.
void LAPD_NT_user::tx_I(const Packet& l3, Sequence ns) {
  Packet frame;
  frame.reserve_head(4);
  frame.put(l3);
  frame.push8(static_cast<uint8_t>(unsigned{vr_} << 1 | 1));
  frame.push8(static_cast<uint8_t>(unsigned{ns} << 1));
  PushAddress(frame, kSapi, tei_, true);
  owner_->send(frame);
}

}  // namespace ISDN
