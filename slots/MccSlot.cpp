#include "slots/MccSlot.h"

#include "platform/Device.h"
#include "runtime/log/Ext.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr size_t kReceiveSize = 1024;
constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

}  // namespace

MccSlot::MccSlot(MccFactory& factory, uint32_t type, const MccFactory::Channel& channel)
    : owner_(factory), type_(type), channel_(channel.switch_channel) {
  event_.Bind("MccSlot::OnEvent", &MccSlot::OnEvent, this);
  event_.Schedule(channel.fd, POLLIN);
}

bool MccSlot::IUserData(const std::vector<char>& bytes) {
  if (!event_.GetFd() && !Reopen()) {
    return false;
  }
  for (;;) {
    if (platform::Write(event_.GetFd().get(), bytes.data(), bytes.size()) >= 0) {
      return true;
    }
    if (errno == EINTR) {
      continue;
    }
    // A channel that pushes back is no fault: the controller hears the refusal and sends again.
    if (errno != EAGAIN) {
      std::cerr << ext::header(&owner_) << *static_cast<Slot*>(this) << " write fail: " << std::strerror(errno)
                << std::endl;
    }
    return false;
  }
}

bool MccSlot::Reopen() {
  std::optional<MccFactory::Channel> channel = owner_.OpenChannel(type_);
  if (!channel) {
    return false;
  }
  // The switch connections of the slot name its channel; another one would carry nothing of them.
  if (channel->switch_channel != channel_) {
    std::cerr << ext::header(&owner_) << *static_cast<Slot*>(this) << " channel " << channel_ << " came back as "
              << channel->switch_channel << ", not taken" << std::endl;
    return false;
  }
  event_.Schedule(channel->fd, POLLIN);
  return true;
}

void MccSlot::OnEvent(int, short revents) {
  if ((revents & POLLIN) != 0) {
    ReceivePass();
  }
  if ((revents & kHangUp) != 0) {
    // Polling a hung-up descriptor again would report the same at once, forever.
    std::cerr << ext::header(&owner_) << *static_cast<Slot*>(this)
              << " device hang-up: " << PollEventAsText(revents & kHangUp) << std::endl;
    event_.Release();
  }
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
