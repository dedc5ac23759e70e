#include "signalling/SLC.h"

#include "hardware/GenericHDLC.h"
#include "runtime/log/Ext.h"

#include <cassert>
#include <iomanip>
#include <iostream>

namespace SS7 {
namespace {

constexpr unsigned kHeaderSize = 3;
// The LI field: six bits, and 63 stands for "63 or more".
constexpr unsigned kLiMask = 0x3F;
constexpr unsigned kLiMax = 63;

constexpr unsigned kT1 = 45000;
constexpr unsigned kT2 = 7000;
constexpr unsigned kT3 = 1500;
constexpr unsigned kT4n = 8200;
constexpr unsigned kT4e = 500;
constexpr unsigned kT7 = 12000;

const SLC::Sequence kOne(1);

}  // namespace

SLC::SLC() {
  // Idle from the start, with the buffers in the state its entry would leave.
  reset();
}

SLC::~SLC() = default;

const char* SLC::StateName(State id) {
  switch (id) {
    case State::idle:
      return "idle";
    case State::not_aligned:
      return "not aligned";
    case State::aligned:
      return "aligned";
    case State::proving:
      return "proving";
    case State::aligned_ready:
      return "aligned ready";
    case State::worked:
      return "worked";
  }
  return "unknown";
}

const char* SLC::IndicationName(uint8_t indication) {
  switch (indication) {
    case SIO:
      return "out of alignment";
    case SIN:
      return "normal alignment";
    case SIE:
      return "emergency alignment";
    case SIOS:
      return "out of service";
    default:
      return nullptr;
  }
}

void SLC::PutHeader(std::ostream& os) const {
  os << "SS7/L2 [dpc=" << dpc << ", slc=" << slc << ", trunk=" << trunk << "] (" << StateName(current_) << "): ";
}

void SLC::WriteDump(std::ostream& os) const {
  os << " BSN=" << bsnr_ << " BIB=" << bibr_ << " FSN=" << fsnr_ << " FIB=" << fibr_;
}

void SLC::WriteBytes(std::ostream& os, const char* title, const Packet& packet) const {
  os << ext::header(this) << title;
  const std::ios_base::fmtflags flags = os.flags();
  const char fill = os.fill('0');
  for (unsigned i = 0; i < packet.length(); ++i) {
    os << ' ' << std::hex << std::uppercase << std::setw(2) << unsigned{packet[i]};
  }
  os.flags(flags);
  os.fill(fill);
  os << std::endl;
}

void SLC::protocol_info(std::ostream& os) {
  os << name_.name();
}

void SLC::local_prepare_head(Packet& packet) {
  packet.reserve_head(kHeaderSize);
}

void SLC::local_prepare_tail(Packet& packet) {
  packet.reserve_tail(0);
}

void SLC::local_activate() {
  if (current_ == State::idle) {
    if (log.mtp_activate) {
      std::clog << ext::header(this) << "local_activate: executing..." << std::endl;
    }
    next_state(State::not_aligned);
    return;
  }
  if (log.mtp_activate) {
    std::clog << ext::header(this) << "local_activate: ignored." << std::endl;
  }
  if (current_ == State::worked) {
    on_activate();
  }
}

void SLC::local_deactivate() {
  if (log.mtp_activate) {
    std::clog << ext::header(this) << "local_deactivate()" << std::endl;
  }
  next_state(State::idle);
}

void SLC::message(Packet& packet) {
  if (log.mtp_transmit) {
    WriteBytes(std::clog, " mtp tx", packet);
  }
  if (current_ == State::worked) {
    put_to_tb(packet);
    process_tb();
  }
}

void SLC::on_hdlc_receive(Packet& packet) {
  receive(packet);
}

void SLC::on_hdlc_error(Cause::Type cause) {
  std::clog << ext::header(this) << "hdlc error [cause=" << cause << "]" << std::endl;
  // The channel closed itself: nothing will arrive or leave on it any more.
  if (current_ != State::idle) {
    next_state(State::idle);
  }
}

void SLC::on_hdlc_ready() {
  std::clog << ext::header(this) << "hdlc ready" << std::endl;
  if (pending_lssu_) {
    send_lssu(*pending_lssu_);
  }
  process_tb();
}

void SLC::OnTrunkHardStatus(bool ok) {
  if (ok || current_ == State::idle) {
    return;
  }
  std::clog << ext::header(this) << " transport OFF by low level terminated" << std::endl;
  next_state(State::idle);
}

const SLC::Statistics& SLC::statistics() {
  stats_.rtbSize = rtbCount_;
  return stats_;
}

void SLC::receive(Packet& packet) {
  if (log.raw_receive) {
    WriteBytes(std::clog, " rx raw", packet);
  }
  stats_.octetsRx += packet.length();
  if (packet.length() < kHeaderSize) {
    std::cerr << ext::header(this) << "ignore packet, length too small " << packet.text() << std::endl;
    return;
  }
  // [BIB|BSN:7] [FIB|FSN:7] [spare:2|LI:6]
  bsnr_ = packet[0];
  bibr_ = packet[0] >> 7;
  fsnr_ = packet[1];
  fibr_ = packet[1] >> 7;
  const unsigned li = packet[2] & kLiMask;
  const unsigned length = packet.length() - kHeaderSize;
  const unsigned expected = length < kLiMax ? length : kLiMax;
  unsigned excess = 0;
  if (li != expected) {
    std::cerr << ext::header(this) << "invalid packet length,"
              << " expected = " << li << ", received = " << length << std::endl;
    if (length < kLiMax && li < length) {
      excess = length - li;
      std::cerr << ext::header(this) << "truncate " << excess << " octet(s) : " << packet.text() << std::endl;
    } else if (length >= kLiMax) {
      std::cerr << ext::header(this) << "can't truncate signalling unit." << std::endl;
    }
  }
  packet.pull8();
  packet.pull8();
  packet.pull8();
  packet.trim(excess);
  li_ = packet.length();
  ++stats_.msuRx;
  if (li_ == 0) {
    receive_fisu();
    return;
  }
  if (li_ > 2) {
    receive_msu(packet);
    return;
  }
  receive_lssu(packet[0]);
}

void SLC::next_state(State target) {
  if (log.state) {
    std::clog << "SS7/L2 [dpc=" << dpc << ", slc=" << slc << ", trunk=" << trunk << "]"
              << ": change state from " << ext::quoted(StateName(current_)) << " to " << ext::quoted(StateName(target))
              << std::endl;
  }
  on_leave();
  current_ = target;
  on_enter(target);
}

void SLC::on_leave() {
  timer_.reset();
  // An LSSU of the state being left is no longer the news.
  pending_lssu_.reset();
}

void SLC::on_enter(State state) {
  switch (state) {
    case State::idle:
      reset();
      sios();
      on_deactivate(Smart_pointer<Internal_protocol_status>(new Protocol_status_error(this, "impossible phasing")));
      return;
    case State::not_aligned:
      reset();
      timer_.set(kT2, &SLC::OnT2, this);
      sio();
      return;
    case State::aligned:
      timer_.set(kT3, &SLC::OnT3, this);
      if (log.timers) {
        std::clog << ext::header(this) << "set T3" << std::endl;
      }
      emergency ? sie() : sin();
      return;
    case State::proving:
      timer_.set(emergency ? kT4e : kT4n, &SLC::OnT4, this);
      emergency ? sie() : sin();
      if (log.timers) {
        std::clog << ext::header(this) << "set T4" << std::endl;
      }
      return;
    case State::aligned_ready:
      timer_.set(kT1, &SLC::OnT1, this);
      fisu();
      return;
    case State::worked:
      if (!tb_.empty()) {
        std::cerr << ext::header(this) << "discard " << tb_.count() << " msu in TB" << std::endl;
        empty_tb();
      }
      reset();
      fisu();
      process_tb();
      on_activate();
      return;
  }
}

void SLC::receive_fisu() {
  switch (current_) {
    case State::proving:
    case State::aligned_ready:
      next_state(State::worked);
      return;
    case State::worked:
      worked_fisu();
      return;
    case State::idle:
    case State::not_aligned:
    case State::aligned:
      return;
  }
}

void SLC::receive_msu(Packet& payload) {
  switch (current_) {
    case State::proving:
    case State::aligned_ready:
      next_state(State::worked);
      return;
    case State::worked:
      worked_msu(payload);
      return;
    case State::idle:
    case State::not_aligned:
    case State::aligned:
      return;
  }
}

void SLC::receive_lssu(uint8_t indication) {
  const bool in_service_alignment = indication == SIN || indication == SIE;
  switch (current_) {
    case State::idle:
    case State::not_aligned:
      if (indication == SIO) {
        next_state(State::aligned);
      } else if (in_service_alignment) {
        next_state(State::proving);
      }
      return;
    case State::aligned:
      if (in_service_alignment) {
        next_state(State::proving);
      }
      return;
    case State::proving:
    case State::aligned_ready:
      if (!in_service_alignment) {
        next_state(State::idle);
      }
      return;
    case State::worked: {
      std::cerr << ext::header(this) << "receive lssu: ";
      const char* name = IndicationName(indication);
      if (name != nullptr) {
        std::cerr << name;
      } else {
        std::cerr << "unknown:" << std::hex << unsigned{indication} << std::dec;
      }
      std::cerr << ' ';
      WriteDump(std::cerr);
      std::cerr << std::endl;
      next_state(State::idle);
      return;
    }
  }
}

void SLC::send_lssu(Indication indication) {
  pending_lssu_.reset();
  if (hdlc == nullptr) {
    return;
  }
  // Sequence octets all ones: BSN 127, BIB 1, FSN 127, FIB 1.
  Packet unit;
  unit.reserve_head(kHeaderSize);
  unit.put8(indication);
  unit.push8(1);
  unit.push8(0xFF);
  unit.push8(0xFF);
  if (!hdlc->hdlc_transmit(unit) && channel_busy()) {
    pending_lssu_ = indication;
  }
}

bool SLC::channel_busy() const {
  return hdlc != nullptr && hdlc->is_open() && !hdlc->is_ready();
}

void SLC::Expired(const char* text, State target) {
  if (log.timers) {
    std::clog << ext::header(this) << text << std::endl;
  }
  next_state(target);
}

void SLC::OnT1() {
  Expired("T1 expired", State::idle);
}

void SLC::OnT2() {
  Expired("T2 expired", State::idle);
}

void SLC::OnT3() {
  Expired("T3 expired", State::idle);
}

void SLC::OnT4() {
  Expired("T4 expired.", State::aligned_ready);
}

void SLC::OnT7() {
  if (log.timers) {
    std::clog << ext::header(this) << "T7 expired: " << rtbCount_ << " packets in RTB." << std::endl;
  }
  next_state(State::idle);
}

// ---- Basic error correction (Q.703 section 5), in service.

void SLC::reset() {
  for (Packet& held : rtb_) {
    held = Packet();
  }
  rtbFirst_ = 0;
  rtbLast_ = 127;
  rtbCount_ = 0;
  nackSent_ = false;
  badBsnSeen_ = false;
  badFibSeen_ = false;
  bsnt_ = 127;
  fsnt_ = 127;
  fibt_ = 1;
  bibt_ = 1;
}

void SLC::make_expected() {
  fsnx_ = bsnt_;
  bibx_ = bibt_;
  fibx_ = fibt_;
}

void SLC::worked_fisu() {
  make_expected();
  if (fibr_ != bibx_) {
    unexpected_fib();
    return;
  }
  nackSent_ = false;
  badFibSeen_ = false;
  if (!process_bsnr()) {
    return;
  }
  // The FSN names the peer's last MSU: one we did not accept is missing.
  if (fsnr_ != fsnx_) {
    nack();
  }
}

void SLC::worked_msu(Packet& payload) {
  make_expected();
  if (fsnr_ == fsnx_) {
    if (log.msu_processing) {
      std::clog << ext::header(this) << "discard msu due to 5.2.2/i Q.702"
                << " fsnr=" << fsnr_ << " fsnx=" << fsnx_ << std::endl;
    }
    return;
  }
  if (fibr_ != bibx_) {
    unexpected_fib();
    return;
  }
  nackSent_ = false;
  badFibSeen_ = false;
  if (!process_bsnr()) {
    return;
  }
  if (fsnr_ == fsnx_ + kOne) {
    ack();
    if (log.mtp_receive) {
      WriteBytes(std::clog, " mtp rx", payload);
    }
    on_message(payload);
    return;
  }
  if (log.msu_processing) {
    std::clog << ext::header(this) << "discard msu due to 5.2.2/ii Q.702"
              << " fsnr=" << fsnr_ << " fsnx=" << fsnx_ << std::endl;
  }
  nack();
}

void SLC::unexpected_fib() {
  if (nackSent_) {
    // Still before the peer's retransmission: only its acknowledgements count.
    (void)process_bsnr();
    return;
  }
  if (badFibSeen_) {
    if (log.msu_processing) {
      std::cerr << ext::header(this) << "bad start of a retransmission: ";
      WriteDump(std::cerr);
      std::cerr << std::endl;
    }
    next_state(State::idle);
    return;
  }
  badFibSeen_ = true;
}

bool SLC::process_bsnr() {
  const Sequence last_acked = rtbFirst_ - kOne;
  if (!(last_acked <= bsnr_ <= rtbLast_)) {
    if (!badBsnSeen_) {
      badBsnSeen_ = true;
      return true;
    }
    if (log.msu_processing) {
      std::cerr << ext::header(this) << "bad su acknowledgement received: ";
      WriteDump(std::cerr);
      std::cerr << std::endl;
    }
    next_state(State::idle);
    return false;
  }
  badBsnSeen_ = false;
  if (bsnr_ + kOne != rtbFirst_) {
    timer_.set(kT7, &SLC::OnT7, this);
  }
  const bool released = rtbCount_ > 0 && rtbFirst_ != bsnr_ + kOne;
  while (rtbCount_ > 0 && rtbFirst_ != bsnr_ + kOne) {
    rtb_[rtbFirst_] = Packet();
    --rtbCount_;
    ++rtbFirst_;
  }
  if (rtbCount_ == 0) {
    timer_.reset();
  }
  if (bibr_ != fibx_) {
    retransmit();
    return true;
  }
  // Room freed in the RTB: MSUs waiting in the TB go now, not at the next MSU from above.
  if (released && !tb_.empty()) {
    process_tb();
  }
  return true;
}

void SLC::ack() {
  bsnt_ = fsnr_;
  if (log.msu_processing) {
    std::cerr << ext::header(this) << "ack!" << std::endl;
  }
  fisu();
}

void SLC::nack() {
  bibt_ ^= 1;
  bibx_ = bibt_;
  nackSent_ = true;
  fisu();
  ++stats_.badSeq;
  if (log.msu_processing) {
    std::cerr << ext::header(this) << "nack!" << std::endl;
  }
}

void SLC::retransmit() {
  if (log.msu_processing) {
    std::cerr << ext::header(this) << "retransmit"
              << " rtb=" << rtbCount_ << std::endl;
  }
  ++stats_.repeat;
  fsnt_ = rtbFirst_ - kOne;
  fibt_ = bibr_;
  // Newest first to the head of the TB, so the oldest goes out first again.
  for (Sequence fsn = rtbLast_; rtbCount_ > 0; --fsn, --rtbCount_) {
    const bool queued = tb_.append(rtb_[fsn]);
    assert(queued && "the TB keeps room for a full RTB above its limit");
    (void)queued;
    rtb_[fsn] = Packet();
  }
  rtbLast_ = rtbFirst_ - kOne;
  process_tb();
}

void SLC::put_to_tb(Packet& payload) {
  // Shorter than an MSU, the far end would take it for a FISU or an LSSU.
  if (payload.length() < 3) {
    ++stats_.overflow;
    std::cerr << ext::header(this) << "msu of " << payload.length() << " octet(s) is too short, ignoring it"
              << std::endl;
    return;
  }
  if (tb_.count() >= kTbLimit) {
    ++stats_.overflow;
    std::cerr << ext::header(this) << "no space in TB buffer,"
              << " TB=" << tb_.count() << " RTB=" << rtbCount_ << " ignoring msu: " << payload.text() << std::endl;
    return;
  }
  const bool queued = tb_.put(payload);
  assert(queued && "the TB limit is below its capacity");
  (void)queued;
}

void SLC::empty_tb() {
  Packet dropped;
  while (tb_.get(&dropped)) {
  }
}

void SLC::process_tb() {
  if (current_ != State::worked) {
    return;
  }
  if (tb_.empty()) {
    fisu();
    return;
  }
  Packet head;
  while (rtbCount_ < kRtbLimit && tb_.preview(&head)) {
    fsnt_ = rtbLast_ + kOne;
    if (send(head) == SendResult::refused) {
      // FISUs sent meanwhile name the last MSU that really went out.
      fsnt_ = rtbLast_;
      return;
    }
    // A frame lost to a write error is left to the error correction, as one lost on the line.
    (void)tb_.get(&head);
    rtbLast_ = fsnt_;
    rtb_[fsnt_] = head;
    if (++rtbCount_ == 1) {
      timer_.set(kT7, &SLC::OnT7, this);
    }
  }
}

SLC::SendResult SLC::send(const Packet& payload) {
  if (hdlc == nullptr) {
    std::clog << ext::header(this) << "no HDLC interface attached!!!" << std::endl;
    return SendResult::refused;
  }
  const unsigned length = payload.length();
  Packet unit;
  unit.reserve_head(kHeaderSize);
  if (length > 0) {
    unit.put(payload);
  }
  unit.push8(static_cast<uint8_t>(length < kLiMax ? length : kLiMax));
  unit.push8(static_cast<uint8_t>(fibt_ << 7 | fsnt_));
  unit.push8(static_cast<uint8_t>(bibt_ << 7 | bsnt_));
  if (!hdlc->hdlc_transmit(unit)) {
    if (channel_busy()) {
      if (log.raw_transmit) {
        std::clog << ext::header(this) << " tx full!" << std::endl;
      }
      return SendResult::refused;
    }
    if (!tx_failing_) {
      std::cerr << ext::header(this) << "hdlc channel fails to send, units are lost until it recovers" << std::endl;
      tx_failing_ = true;
    }
    return SendResult::lost;
  }
  tx_failing_ = false;
  if (log.raw_transmit) {
    WriteBytes(std::clog, " tx raw", unit);
  }
  ++stats_.msuTx;
  stats_.octetsTx += unit.length();
  return SendResult::sent;
}

void SLC::fisu() {
  (void)send(Packet());
}

}  // namespace SS7
