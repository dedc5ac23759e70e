#include "signalling/IsdnSlots.h"

#include "hardware/HDLC.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "runtime/log/TraceFlags.h"
#include "signalling/IsdnFactory.h"
#include "signalling/SignallingSlot.h"

#include <poll.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;
constexpr unsigned long kAddB = 0x8008420f;
constexpr unsigned long kReleaseB = 0x80084210;

// The B channel record: index, then the channel id (-1 on an add).
std::array<uint8_t, 8> BRecord(unsigned index, int bchannel) {
  std::array<uint8_t, 8> record{};
  platform::StoreBe32(&record[0], index);
  platform::StoreBe32(&record[4], static_cast<uint32_t>(bchannel));
  return record;
}

}  // namespace

IsdnSlot::IsdnSlot(const Fd& fd, int channel, ISDN::LAPD* lapd, const char* name) : channel_(channel), lapd_(lapd) {
  lapd_->notify = this;
  lapd_->hdlc = this;
  event_.Bind(name, &IsdnSlot::OnEvent, this);
  event_.Schedule(fd, POLLIN | POLLOUT);
  add_protocol_tail(lapd_);
}

void IsdnSlot::PutHeader(std::ostream& os) const {
  os << "isdn-slot[" << channel_ << "]: ";
}

bool IsdnSlot::IActivate(const TERM::TermActivateParams&) {
  activate();
  return true;
}

bool IsdnSlot::IDeactivate() {
  deactivate();
  return true;
}

bool IsdnSlot::IUserData(const std::vector<char>& bytes) {
  return SignallingSlot::SendUserData(*this, bytes, [this](std::ostream& os) { PutHeader(os); });
}

bool IsdnSlot::hdlc_transmit(Packet& packet) {
  if (packet.length() == 0) {
    return true;
  }
  if (!event_.GetFd()) {
    return false;
  }
  for (;;) {
    if (platform::Write(event_.GetFd().get(), packet.data(), packet.length()) >= 0) {
      if (traces.signalling.isdn) {
        std::clog << ext::header(this) << ": tx " << packet.text() << std::endl;
      }
      return true;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == EAGAIN) {
      ready_ = false;
      event_.Schedule(event_.GetFd(), POLLIN | POLLOUT);
    }
    return false;
  }
}

void IsdnSlot::OnEvent(int fd, short revents) {
  if ((revents & POLLIN) != 0 && !ReadFrame(fd)) {
    return;
  }
  if ((revents & kHangUp) != 0) {
    std::cerr << ext::header(this) << "device hang-up" << std::endl;
    Fail();
    return;
  }
  if ((revents & POLLOUT) != 0 && !ready_ && event_.GetFd()) {
    ready_ = true;
    event_.Schedule(event_.GetFd(), POLLIN);
    lapd_->on_hdlc_ready();
  }
}

bool IsdnSlot::ReadFrame(int fd) {
  Packet packet;
  packet.reserve_head(0);
  ssize_t count = 0;
  do {
    count = platform::Read(fd, packet.tail_buffer(), packet.get()->_tailroom());
  } while (count < 0 && errno == EINTR);
  if (count > 0) {
    packet.advance_tail(static_cast<unsigned>(count));
    if (traces.signalling.isdn) {
      std::clog << ext::header(this) << ": rx " << packet.text() << std::endl;
    }
    receive(packet);
    return true;
  }
  // An empty read carries no errno of its own; EAGAIN means nothing yet.
  if (count == 0 || errno == EAGAIN) {
    return true;
  }
  std::cerr << ext::header(this) << "read error: " << std::strerror(errno) << std::endl;
  Fail();
  return false;
}

void IsdnSlot::Fail() {
  // Polling a failed descriptor again would report the same at once, forever.
  event_.Release();
  ready_ = false;
  // No frame can pass any more: the link goes down rather than look up.
  lapd_->on_hdlc_error(HDLC::Notify::Cause::receive);
}

void IsdnSlot::on_activated(Protocol*) {
  SendIsdnInfo();
  OnActivated();
}

void IsdnSlot::on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status>) {
  SendIsdnInfo();
  OnDeactivated();
}

void IsdnSlot::on_message(Packet& packet) {
  OnUserData(SignallingSlot::UserDataOf(packet));
}

void IsdnSlot::SendIsdnInfo() {
  LGCP::IoctlResponse response;
  if (lapd_->GetInfo(response.select_isdnLinkInfo())) {
    OnIoctlResponse(response);
  }
}

std::unique_ptr<Slot> AtsQsigSlot::NewBChannel(unsigned index) {
  std::array<uint8_t, 8> record = BRecord(index, -1);
  const int bchannel = event_.GetFd() && platform::Ioctl(event_.GetFd().get(), kAddB, record.data()) >= 0
                           ? static_cast<int>(platform::LoadBe32(&record[4]))
                           : -1;
  if (bchannel < 0) {
    std::cerr << "ats-qsig: add B channel fail !!!" << std::endl;
    return nullptr;
  }
  return std::make_unique<AtsQsigBSlot>(GetId(), index, bchannel);
}

void AtsQsigSlot::ReleaseBChannel(unsigned index, int bchannel) {
  std::array<uint8_t, 8> record = BRecord(index, bchannel);
  if (event_.GetFd()) {
    (void)platform::Ioctl(event_.GetFd().get(), kReleaseB, record.data());
  }
}

bool AtsQsigSlot::IBeforeDestroy() {
  event_.Release();
  return true;
}

bool AtsQsigBSlot::IBeforeDestroy() {
  auto* parent = dynamic_cast<AtsQsigSlot*>(IsdnFactory::instance().FindSlot(parent_));
  if (parent == nullptr) {
    std::clog << "ats-qsig-b: Can't find signalling slot" << std::endl;
    return true;
  }
  parent->ReleaseBChannel(index_, bchannel_);
  return true;
}
