#pragma once

#include "platform/RtpRecords.h"
#include "runtime/loop/Event.h"
#include "runtime/loop/Timer.h"
#include "runtime/net/Fd.h"
#include "runtime/net/INet4.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace TERM {
class RadioStatus;
class RadioModifier;
class RtpRadioRequest;
}  // namespace TERM

namespace RTPSignalling {

constexpr uint16_t kED137ExtensionType = 0x0167;
constexpr uint16_t kLemzExtensionType = 0x1337;

const char* GetRtpExtDevName();

// The side of a radio control its slot uses.
class IRadioController {
 public:
  virtual ~IRadioController() = default;
  // A full radio status (create command); true when this protocol took it.
  virtual bool SendASNToChan(const TERM::RadioStatus& status);
  // A radio modifier (ioctl rtpExt); true when this protocol took it.
  virtual bool SendASNToChan(const TERM::RadioModifier& modifier);
  // Whether the radio side reports squelch open.
  virtual bool GetSQU();
};

// The loop's side of a radio control: device events and the status timer.
class IRadioIntController {
 public:
  virtual ~IRadioIntController() = default;
  virtual void OnRtpExtEvent(int fd, short revents);
  // Periodic work at now (ms); returns the delay until the next call.
  virtual unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval);
};

// What a radio control reports to its slot.
class IRadioControlNotify {
 public:
  virtual ~IRadioControlNotify() = default;
  virtual void RadioControlNotify(const TERM::RtpRadioRequest& request);
  virtual void RadioControlNotify(int cause);
};

// Common base of the radio controls: the RTP-extension session (or the join
// of another process's RTP session), the receive filter, the status timer and
// the log prefix. Protocol classes add the codec and the state mapping.
class RadioControl : public IRadioController, private IRadioIntController {
 public:
  enum RadioControlType { kAttached = 0, kJoined = 1, kDetached = 2 };

  // Type 0: own extension session attached to the slot's RTP session.
  RadioControl(int id, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
  // Type 2: own extension session, not attached.
  explicit RadioControl(const rtp_ext_init_params& init);
  // Type 1: joins the given RTP session to the slot's (rtp is duplicated).
  RadioControl(int id, const Fd& rtp, const rtp_attach_session_params& join);
  ~RadioControl() override;
  RadioControl(const RadioControl&) = delete;
  RadioControl& operator=(const RadioControl&) = delete;

  [[nodiscard]] bool RtpExtStart(bool full);
  bool RtpExtStop();

  void SetTimerEnable(bool enable);
  void SetTimerInterval(unsigned long ms) { interval_ = static_cast<uint32_t>(ms); }
  void SetTimer(unsigned long ms);

  // Limits received packets to one sender while active; an address of 0
  // (0.0.0.0) names no sender and resets the filter.
  int UpdateAccess(bool active, uint32_t address);

  // The RTP session a type-0 start attaches to, or a type-1 start joins to;
  // the slot names its current one before each restart, since a codec change
  // replaces the session.
  void SetAttachSession(const Fd& session);
  void SetNotify(IRadioControlNotify* notify) { notify_ = notify; }
  void SetTrace(bool trace) { trace_ = trace; }
  const std::string& GetPrefix();

  RadioControlType Type() const { return type_; }
  bool HasSession() const { return static_cast<bool>(ext_fd_); }
  // Whether an extension session was ever open, one that hung up or was
  // stopped since included: only a control whose starts all failed never had
  // a radio link to lose.
  bool HadSession() const { return had_session_; }
  const INet4::Addr& OwnAddress() const { return own_address_; }
  const rtp_ext_init_params& InitParams() const { return init_; }
  // Packets dropped because their sender could not be learnt.
  uint32_t DroppedPackets() const { return dropped_; }

  // What the extension session carried, kept for a look from outside and
  // never reported. Each code and errno is that of the last failure of its
  // step (0 until one fails); nothing queued to read is no failure, a full
  // queue refusing a write is.
  struct Statistics {
    uint32_t source_reads = 0;
    uint32_t good_packets = 0;
    uint32_t bytes_received = 0;
    uint32_t packets_sent = 0;
    uint32_t bytes_sent = 0;
    int unpack_code = 0;
    int pack_code = 0;
    int source_errno = 0;
    int read_errno = 0;
    int write_errno = 0;
  };
  const Statistics& GetStatistics() const { return stats_; }

 protected:
  // Most packets one device event reads, so a flooding far end cannot hold
  // the loop; the rest wait for the next turn.
  static constexpr int kMaxPacketsPerEvent = 256;
  static constexpr size_t kMaxPacket = 1024;

  struct Source {
    uint32_t ssrc;
    uint32_t address;  // network byte order
  };

  // The receive loop of the protocols. For readable events it drains the
  // queued packets: decode(record, bytes, size, source) fills a Record and
  // returns false for a packet to drop; of each run of records that same(a, b)
  // finds equal only the last goes to handle, and the burst's last always does.
  template <class Record, class Decode, class Same, class Handle>
  void ReceivePackets(short revents, Decode decode, Same same, Handle handle);
  // What the write returned; 0 without a session.
  long WritePacket(const uint8_t* packet, size_t size);
  // now_ minus since on the wrapping millisecond clock, with a since ahead of
  // now_ (the clock stepped back) moved to now_ first. Ages stop at kMaxAge,
  // since following, so that a time aged at every timer step never wraps
  // into a step back however long the silence.
  static constexpr uint32_t kMaxAge = uint32_t{1} << 30;  // about 12 days
  uint32_t Age(uint32_t& since);

  Statistics stats_;
  uint32_t now_ = 0;
  uint32_t interval_ = 1000;
  bool trace_ = false;
  IRadioControlNotify* notify_ = nullptr;

 private:
  // True when the event brings packets to read; now_ is then the time of the
  // burst. A hang-up or error releases the registration with one log line, so
  // a dead session is not polled.
  bool TakeEvents(short revents);
  // Reads one packet with its sender: its length, 0 when none is queued (or
  // the read failed), kDropped when the sender could not be learnt (the packet
  // is read, counted and dropped).
  static constexpr long kDropped = -1;
  long ReadPacket(uint8_t* buffer, Source& source);
  // A control of no protocol reads and drops its packets, so the session
  // never stays readable with nothing reading it.
  void OnRtpExtEvent(int fd, short revents) override;
  void Init(RadioControlType type);
  bool OpenSession(bool attach);
  void CloseSession();
  // Limits the session to the sender at filter_address_.
  void SetFilter();
  void OnProcessStatus();

  RadioControlType type_;
  Fd rtp_fd_;
  Fd ext_fd_;
  Event event_;
  Timer timer_;
  rtp_attach_session_params join_{};
  rtp_ext_attach_session_params attach_{};
  rtp_ext_init_params init_{};
  uint32_t id_ = 0;
  bool timer_enabled_ = false;
  bool filter_active_ = false;
  bool had_session_ = false;
  uint32_t filter_address_ = 0;
  uint32_t dropped_ = 0;
  std::string prefix_;
  INet4::Addr own_address_;
};

template <class Record, class Decode, class Same, class Handle>
void RadioControl::ReceivePackets(short revents, Decode decode, Same same, Handle handle) {
  if (!TakeEvents(revents)) {
    return;
  }
  Record previous{};
  Record current{};
  int count = 0;
  uint8_t buffer[kMaxPacket];
  for (int read = 0; read < kMaxPacketsPerEvent; ++read) {
    Source source{};
    const long size = ReadPacket(buffer, source);
    if (size == kDropped) {
      continue;
    }
    if (size <= 0) {
      break;
    }
    if (!decode(current, buffer, static_cast<size_t>(size), source)) {
      continue;
    }
    if (count > 0 && !same(previous, current)) {
      handle(previous);
    }
    previous = current;
    ++count;
  }
  if (count > 0) {
    handle(previous);
  }
}

}  // namespace RTPSignalling
