#include "hardware/HDLC.h"

#include "hardware/HwMux.h"
#include "hardware/mcc_alloc_params.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "runtime/log/TraceFlags.h"
#include "runtime/net/Fd.h"
#include "runtime/protocol/Packet.h"

#include <poll.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

// The allocation type of each mode; nothing for a mode no owner sets.
bool TypeOfMode(int32_t mode, uint32_t* type) {
  switch (mode) {
    case HDLC::kModeSs7:
      *type = mcc_alloc_params::kSs7;
      return true;
    case HDLC::kModeData:
      *type = mcc_alloc_params::kData;
      return true;
    case HDLC::kModeBri:
      *type = mcc_alloc_params::kBri;
      return true;
    default:
      return false;
  }
}

}  // namespace

HDLC::HDLC() {
  unbind();
  event_.Bind("HDLC::OnEvent", &HDLC::OnEvent, this);
}

HDLC::~HDLC() {
  Release();
}

void HDLC::unbind() {
  class Stub : public Notify {
   public:
    void on_hdlc_receive(Packet&) override {}
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {}
  };
  static Stub stub;
  notify = &stub;
}

void HDLC::PutHeader(std::ostream& os) const {
  os << "hdlc"
     << " [" << link << "/" << timeslot << "]: ";
}

bool HDLC::is_open() const {
  return static_cast<bool>(event_.GetFd());
}

bool HDLC::activate() {
  deactivate();
  counters_ = Counters{};
  uint32_t type = 0;
  if (!TypeOfMode(mode, &type)) {
    std::cerr << ext::header(this) << "unknown mode " << mode << std::endl;
    return false;
  }
  const std::optional<Mcc::Channel> channel = Mcc::OpenChannel(
      mcc_alloc_params{type, 512, 0, 1, 4}, [this](std::ostream& os) { PutHeader(os); }, false);
  if (!channel) {
    return false;
  }
  Join(channel->switch_channel, mode == kModeBri ? tx_channel : rx_channel);
  Join(rx_channel, channel->switch_channel);
  event_.Schedule(channel->fd, POLLIN | POLLOUT);
  ready_ = false;
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "activated" << std::endl;
  }
  return true;
}

void HDLC::Join(int source, int output) {
  // A failed connection is the switch's to report; the channel works without it.
  if (HwMux::instance().Connect(source, output)) {
    joined_.push_back(Path{source, output});
  }
}

void HDLC::IdleJoinedOutputs() {
  HwMux& mux = HwMux::instance();
  for (const Path& path : joined_) {
    if (mux.Carries(path.output, path.source)) {
      (void)mux.Disconnect(path.output);
    }
  }
  joined_.clear();
}

void HDLC::Release() {
  if (is_open()) {
    ++released_;
  }
  event_.Release();
  ready_ = false;
  IdleJoinedOutputs();
}

void HDLC::deactivate() {
  Release();
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "deactivated" << std::endl;
  }
}

void HDLC::OnEvent(int, short revents) {
  const uint32_t descriptor = released_;
  if ((revents & POLLIN) != 0) {
    ReceivePass();
  }
  if (!is_open() || released_ != descriptor) {
    return;
  }
  if ((revents & kHangUp) != 0) {
    // Polling a hung-up descriptor again would report the same at once, forever.
    std::cerr << ext::header(this) << "device hang-up: " << PollEventAsText(revents & kHangUp) << std::endl;
    deactivate();
    notify->on_hdlc_error(Notify::Cause::receive);
    return;
  }
  if ((revents & POLLOUT) != 0 && !ready_) {
    ready_ = true;
    event_.Schedule(event_.GetFd(), POLLIN);
    notify->on_hdlc_ready();
  }
}

void HDLC::ReceivePass() {
  if (traces.signalling.hdlc) {
    std::clog << ext::header(this) << "do_read" << std::endl;
  }
  if (!is_open()) {
    std::clog << ext::header(this) << "do_read: !m_event.IsActive()" << std::endl;
    return;
  }
  const uint32_t descriptor = released_;
  while (is_open() && released_ == descriptor) {
    Packet packet;
    packet.reserve_head(0);
    const ssize_t size = platform::Read(event_.GetFd().get(), packet.tail_buffer(), packet_max_size);
    if (size > 0) {
      packet.advance_tail(static_cast<unsigned>(size));
      if (traces.signalling.hdlc) {
        std::clog << "HDLC[" << link << "]: rx " << packet.text() << std::endl;
      }
      ++counters_.rxSU;
      notify->on_hdlc_receive(packet);
      continue;
    }
    // An empty read carries no errno of its own: it ends the pass.
    if (size == 0 || errno == EAGAIN) {
      return;
    }
    if (errno == EINTR) {
      continue;
    }
    std::cerr << ext::header(this) << "read error: " << std::strerror(errno) << std::endl;
    deactivate();
    notify->on_hdlc_error(Notify::Cause::receive);
    return;
  }
}

bool HDLC::hdlc_transmit(Packet& packet) {
  if (packet.length() == 0) {
    return true;
  }
  if (!is_open()) {
    ++counters_.txDiscard;
    return false;
  }
  if (traces.signalling.hdlc) {
    std::clog << "HDLC[" << link << "]: tx " << packet.text() << std::endl;
  }
  for (;;) {
    if (platform::Write(event_.GetFd().get(), packet.data(), packet.length()) >= 0) {
      ++counters_.txSU;
      return true;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno == EAGAIN) {
      // The frame is dropped here; the owner hears on_hdlc_ready once the device drains.
      ready_ = false;
      event_.Schedule(event_.GetFd(), POLLIN | POLLOUT);
      return false;
    }
    ++counters_.txError;
    return false;
  }
}
