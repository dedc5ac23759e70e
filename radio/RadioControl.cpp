#include "radio/RadioControl.h"

#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/clock/Mux.h"
#include "runtime/net/Net.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <list>

namespace RTPSignalling {
namespace {

using platform::BeReader;
using platform::BeWriter;

constexpr unsigned long kInitRequest = 0xc0144500;
constexpr unsigned long kAttachRequest = 0xc0084501;
constexpr unsigned long kDetachRequest = 0x20004502;
constexpr unsigned long kSourceRequest = 0xc00c4503;
constexpr unsigned long kSetFilterRequest = 0xc0084504;
constexpr unsigned long kResetFilterRequest = 0x20004505;

// Keeps errno as the read step's last failure; an empty queue of the non-blocking session is none.
void NoteFailure(int& last) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) {
    last = errno;
  }
}

}  // namespace

const char* GetRtpExtDevName() {
  return "/dev/rtp_ext";
}

bool IRadioController::SendASNToChan(const TERM::RadioStatus&) {
  return false;
}

bool IRadioController::SendASNToChan(const TERM::RadioModifier&) {
  return false;
}

bool IRadioController::GetSQU() {
  return false;
}

void IRadioIntController::OnRtpExtEvent(int, short) {}

unsigned long IRadioIntController::ProcessRadioStatus(unsigned long, unsigned long interval) {
  return interval;
}

void IRadioControlNotify::RadioControlNotify(const TERM::RtpRadioRequest&) {}

void IRadioControlNotify::RadioControlNotify(int) {}

RadioControl::RadioControl(int id, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init)
    : attach_(attach), init_(init), id_(static_cast<uint32_t>(id)) {
  Init(kAttached);
}

RadioControl::RadioControl(const rtp_ext_init_params& init) : init_(init) {
  Init(kDetached);
}

RadioControl::RadioControl(int id, const Fd& rtp, const rtp_attach_session_params& join)
    : rtp_fd_(rtp), join_(join), id_(static_cast<uint32_t>(id)) {
  Init(kJoined);
}

RadioControl::~RadioControl() {
  CloseSession();
  timer_.reset();
}

void RadioControl::Init(RadioControlType type) {
  type_ = type;
  now_ = Mux::milliseconds();
  interval_ = 1000;
  filter_active_ = timer_enabled_ = trace_ = false;
  notify_ = nullptr;
  // A failed start leaves the control without a session; it is logged there.
  static_cast<void>(RtpExtStart(true));
  std::list<INet4::Addr> addresses;
  if (Net::ifconfig(addresses, Net::kPrivate) > 0) {
    own_address_ = addresses.front();
  } else {
    static_cast<void>(own_address_.Assign("127.0.0.1"));
  }
}

bool RadioControl::RtpExtStart(bool full) {
  switch (type_) {
    case kAttached:
      return OpenSession(true);
    case kDetached:
      return !full || OpenSession(false);
    case kJoined: {
      rtp_device::AttachRecord record = rtp_device::Encode(join_);
      if (platform::Ioctl(rtp_fd_.get(), rtp_device::kAttachSession, record.data()) < 0) {
        std::cerr << GetPrefix() << "attach rtp session fail !!!" << std::endl;
        return false;
      }
      return true;
    }
  }
  return false;
}

bool RadioControl::OpenSession(bool attach) {
  CloseSession();
  // Non-blocking: the receive loop drains the queue until no packet is left.
  const int fd = platform::Open(GetRtpExtDevName(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    std::cerr << GetPrefix() << "create rtp_ext session fail !!!" << std::endl;
    return false;
  }
  rtp_device::ExtInitRecord init = rtp_device::Encode(init_);
  if (platform::Ioctl(fd, kInitRequest, init.data()) < 0) {
    std::cerr << GetPrefix() << "init rtp_ext session fail !!!" << std::endl;
    platform::Close(fd);
    return false;
  }
  rtp_device::AttachRecord record = rtp_device::Encode(attach_);
  if (attach && platform::Ioctl(fd, kAttachRequest, record.data()) < 0) {
    std::cerr << GetPrefix() << "attach rtp_ext session fail !!!" << std::endl;
    platform::Close(fd);
    return false;
  }
  ext_fd_ = Fd(fd);
  had_session_ = true;
  // A new session delivers every sender: a holder still keyed keeps its filter.
  if (filter_active_) {
    SetFilter();
  }
  // Bound whenever scheduled, so a session is never watched with no reader.
  event_.Bind("RadioControl::OnRtpExtEvent", &IRadioIntController::OnRtpExtEvent,
              static_cast<IRadioIntController*>(this));
  event_.Schedule(ext_fd_, POLLIN);
  return true;
}

void RadioControl::CloseSession() {
  event_.Release();
  ext_fd_.close();
}

void RadioControl::SetAttachSession(const Fd& session) {
  attach_.fd_rtp = session.get();
  if (type_ == kJoined) {
    rtp_fd_ = session;
  }
}

bool RadioControl::RtpExtStop() {
  // The joined session's duplicate goes too: the driver gives the channel to
  // a new session only once every duplicate of the old one is released.
  if (type_ == kJoined) {
    rtp_fd_.close();
    return true;
  }
  if (type_ != kAttached) {
    return true;
  }
  if (ext_fd_ && platform::IoctlValue(ext_fd_.get(), kDetachRequest, 0) < 0) {
    std::cerr << GetPrefix() << "detach rtp_ext session fail !!!" << std::endl;
  }
  CloseSession();
  return true;
}

void RadioControl::SetTimerEnable(bool enable) {
  timer_enabled_ = enable;
  if (enable) {
    SetTimer(interval_);
  } else {
    timer_.reset();
  }
}

void RadioControl::SetTimer(unsigned long ms) {
  timer_.set(static_cast<unsigned>(ms), &RadioControl::OnProcessStatus, this);
}

void RadioControl::OnProcessStatus() {
  now_ = Mux::milliseconds();
  SetTimer(ProcessRadioStatus(now_, interval_));
}

int RadioControl::UpdateAccess(bool active, uint32_t address) {
  if (active && address != 0) {
    if (filter_active_ && filter_address_ == address) {
      return 0;
    }
    filter_active_ = true;
    filter_address_ = address;
    SetFilter();
    return 0;
  }
  if (!filter_active_) {
    return 0;
  }
  filter_active_ = false;
  filter_address_ = 0;
  if (platform::IoctlValue(ext_fd_.get(), kResetFilterRequest, 0) < 0) {
    std::cerr << GetPrefix() << "reset filer rtp_ext session fail !!!" << std::endl;
  }
  return 0;
}

void RadioControl::SetFilter() {
  uint8_t record[8];
  BeWriter(record, sizeof record).U32(ntohl(filter_address_)).U32(0);
  if (platform::Ioctl(ext_fd_.get(), kSetFilterRequest, record) < 0) {
    std::cerr << GetPrefix() << "set filer rtp_ext session fail !!!" << std::endl;
  }
}

const std::string& RadioControl::GetPrefix() {
  Mux::timeval tv{};
  Mux::gettimeval(tv);
  char text[255];
  const std::string time = Mux::timevaltostring(tv);
  if (type_ == kDetached) {
    std::snprintf(text, sizeof text, "rtp_ext %s:", time.c_str());
  } else {
    std::snprintf(text, sizeof text, "rtp_ext[%lu] %s:", static_cast<unsigned long>(id_), time.c_str());
  }
  prefix_ = text;
  return prefix_;
}

void RadioControl::OnRtpExtEvent(int, short revents) {
  if (!TakeEvents(revents)) {
    return;
  }
  uint8_t buffer[kMaxPacket];
  Source source{};
  for (int read = 0; read < kMaxPacketsPerEvent && ReadPacket(buffer, source) != 0; ++read) {
  }
}

bool RadioControl::TakeEvents(short revents) {
  if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
    std::cerr << GetPrefix() << "rtp_ext session hung up, no longer watched" << std::endl;
    CloseSession();
    return false;
  }
  if ((revents & POLLIN) == 0) {
    return false;
  }
  if (trace_) {
    std::clog << GetPrefix() << "receive extension packet(s)!" << std::endl;
  }
  now_ = Mux::milliseconds();
  return true;
}

long RadioControl::ReadPacket(uint8_t* buffer, Source& source) {
  uint8_t record[12] = {};
  const bool known = platform::Ioctl(ext_fd_.get(), kSourceRequest, record) >= 0;
  if (known) {
    ++stats_.source_reads;
  } else {
    NoteFailure(stats_.source_errno);
  }
  const ssize_t size = platform::Read(ext_fd_.get(), buffer, kMaxPacket);
  if (size < 0) {
    NoteFailure(stats_.read_errno);
  }
  if (size <= 0) {
    return 0;
  }
  stats_.bytes_received += static_cast<uint32_t>(size);
  if (!known) {
    ++dropped_;
    return kDropped;
  }
  BeReader reader(record, sizeof record);
  source.ssrc = reader.U32();
  source.address = htonl(reader.U32());
  return size;
}

uint32_t RadioControl::Age(uint32_t& since) {
  const int32_t age = static_cast<int32_t>(now_ - since);
  if (age < 0) {
    since = now_;
    return 0;
  }
  if (static_cast<uint32_t>(age) > kMaxAge) {
    since = now_ - kMaxAge;
    return kMaxAge;
  }
  return static_cast<uint32_t>(age);
}

long RadioControl::WritePacket(const uint8_t* packet, size_t size) {
  if (!ext_fd_) {
    return 0;
  }
  const ssize_t written = platform::Write(ext_fd_.get(), packet, size);
  if (written > 0) {
    ++stats_.packets_sent;
    stats_.bytes_sent += static_cast<uint32_t>(written);
  } else if (written < 0) {
    // EAGAIN too: a full queue loses the packet.
    stats_.write_errno = errno;
  }
  return written;
}

}  // namespace RTPSignalling
