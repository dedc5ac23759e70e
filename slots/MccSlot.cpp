#include "slots/MccSlot.h"

#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "slots/Slots.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr size_t kReceiveSize = 1024;
constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

}  // namespace

MccSlot::MccSlot(MccFactory& factory, const MccFactory::Channel& channel)
    : owner_(factory), channel_(channel.switch_channel) {
  event_.Bind("MccSlot::OnEvent", &MccSlot::OnEvent, this);
  event_.Schedule(channel.fd, POLLIN);
}

bool MccSlot::IUserData(const std::vector<char>& bytes) {
  if (!event_.GetFd()) {
    return false;
  }
  for (;;) {
    if (platform::Write(event_.GetFd().get(), bytes.data(), bytes.size()) >= 0) {
      return true;
    }
    if (errno == EINTR) {
      continue;
    }
    // A channel that pushes back is no fault: the controller hears that it is busy and sends again.
    if (errno == EAGAIN) {
      Slots::instance().Error(LGCP::ErrorCause::insufficientResources);
      return false;
    }
    std::cerr << ext::header(&owner_) << *static_cast<Slot*>(this) << " write fail: " << std::strerror(errno)
              << std::endl;
    return false;
  }
}

void MccSlot::OnEvent(int, short revents) {
  if ((revents & POLLIN) != 0) {
    ReceivePass();
  }
  if ((revents & kHangUp) != 0) {
    // Polling a hung-up descriptor again would report the same at once, forever.
    std::cerr << ext::header(&owner_) << *static_cast<Slot*>(this)
              << " device hang-up: " << PollEventAsText(revents & kHangUp) << std::endl;
    LoseChannel();
  }
}

void MccSlot::LoseChannel() {
  (void)Slots::instance().Disconnect(this);
  DisconnectListeners("mcc: internal error: expected slots not exists.");
  event_.Release();
  channel_ = -1;
  OnDeactivated();
}

void MccSlot::ReceivePass() {
  char buffer[kReceiveSize];
  for (;;) {
    const ssize_t size = platform::Read(event_.GetFd().get(), buffer, sizeof buffer);
    if (size > 0) {
      OnUserData(std::vector<char>(buffer, buffer + size));
      continue;
    }
    // An empty read carries no errno of its own, and reading on could go on forever.
    if (size < 0 && errno == EINTR) {
      continue;
    }
    return;
  }
}
