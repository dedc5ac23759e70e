#include "runtime/transport/ControlService.h"

#include "runtime/clock/Mux.h"
#include "runtime/clock/Profile.h"
#include "runtime/protocol/StrmProtocol.h"
#include "runtime/protocol/Tpkt_protocol.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <iostream>

namespace Control {
namespace {

// While sends are refused, the count of further refusals is written at most this often.
constexpr uint32_t kRefusalReportMs = 60000;

bool SetIntOption(int fd, int level, int option, int value) {
  return setsockopt(fd, level, option, &value, sizeof value) == 0;
}

}  // namespace

const char* GetTextNotation(Service::State::Type state) {
  switch (state) {
    case Service::State::Idle:
      return "Idle";
    case Service::State::Connecting:
      return "Connecting";
    case Service::State::Deactivating:
      return "Deactivating";
    case Service::State::Connected:
      return "Connected";
  }
  return "Unknown";
}

Service::Service(bool verbose) : verbose_(verbose), stream_(new StrmProtocol) {
  add_protocol_tail(stream_);
  add_protocol_tail(new Tpkt_protocol);
  disconnect_call_.Bind(this, &Service::OnDeactivateDPC);
}

Service::~Service() = default;

bool Service::Activate() {
  Deactivate();
  SetState(State::Connecting);
  const bool started = ImplActivate();
  if (!started) {
    SetState(State::Idle);
  }
  return started;
}

void Service::Deactivate() {
  ImplDeactivate();
  SetState(State::Idle);
}

void Service::Disconnect() {
  if (state_ == State::Deactivating) {
    return;
  }
  deactivate();
}

void Service::Send(const char* data, int len) {
  switch (state_) {
    case State::Connected:
      break;
    case State::Deactivating:
      return;
    case State::Idle:
    case State::Connecting:
      if (verbose_) {
        NoteRefusal();
      }
      return;
  }
  if (len < 0 || static_cast<unsigned>(len) > Tpkt_protocol::kMaxPayload) {
    // Beyond what one frame's length field can carry; the packet could not
    // hold it either.
    if (verbose_) {
      std::cerr << "Control::Service::Send() drop a message of " << len << " bytes: too long." << std::endl;
    }
    return;
  }
  static Profile::Point build_point("Control::Service::Send [1]");
  static Profile::Point send_point("Control::Service::Send [2]");
  build_point.begin();
  Packet packet;
  prepare_head(packet);
  packet.put(reinterpret_cast<const uint8_t*>(data), static_cast<unsigned>(len));
  build_point.end();
  send_point.begin();
  message(packet);
  send_point.end();
}

void Service::service_name(const std::string& name) {
  stream_->service_name(name);
}

const std::string& Service::service_name() const {
  return stream_->service_name();
}

void Service::Release() {
  stream_->release();
}

uint32_t Service::GetOverflowCounter() const {
  return stream_->overflow_counter();
}

const Measure& Service::get_read_measure() const {
  return stream_->read_measure();
}

const Measure& Service::get_write_measure() const {
  return stream_->write_measure();
}

void Service::ConnectStack(const Fd& fd, const std::string& peer) {
  peer_ = peer;
  SetState(State::Connected);
  stream_->attach(fd);
  activate();
  // Even when the stack failed to come up at once: the disconnect that
  // follows on a later pass must find the connect reported first.
  if (notify_ != nullptr) {
    notify_->OnConnect();
  }
}

bool Service::PeerClosed() const {
  return stream_->peer_closed();
}

void Service::SetState(State::Type state) {
  if (state != state_) {
    EndRefusals();
  }
  state_ = state;
}

void Service::NoteRefusal() {
  const uint32_t now = Mux::milliseconds();
  if (!refusing_) {
    std::cerr << "Control::Service::Send() ignore Send request in " << GetTextNotation(state_) << " state."
              << std::endl;
    refusing_ = true;
    refusals_ = 0;
    refusals_since_ms_ = now;
    return;
  }
  ++refusals_;
  if (now - refusals_since_ms_ >= kRefusalReportMs) {
    ReportRefusals();
    refusals_since_ms_ = now;
  }
}

void Service::ReportRefusals() {
  if (refusals_ == 0) {
    return;
  }
  std::cerr << "Control::Service::Send() ignored " << refusals_ << " more Send requests in " << GetTextNotation(state_)
            << " state." << std::endl;
  refusals_ = 0;
}

void Service::EndRefusals() {
  if (!refusing_) {
    return;
  }
  ReportRefusals();
  refusing_ = false;
}

void Service::on_message(Packet& packet) {
  if (state_ == State::Deactivating || notify_ == nullptr) {
    return;
  }
  notify_->OnMessage(reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.length()));
}

void Service::on_activated(Protocol*) {}

void Service::on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status>) {
  if (verbose_) {
    std::cerr << "control connection " << peer_ << " closed." << std::endl;
  }
  SetState(State::Deactivating);
  disconnect_call_.Activate();
}

void Service::OnDeactivateDPC() {
  disconnect_call_.Deactivate();
  ImplOnConnectionEnd();
  // An Activate or Deactivate since the stack went down has set the state on
  // purpose; restarting the subclass now would undo it (a deactivated
  // connector would dial again).
  if (state_ == State::Deactivating) {
    SetState(State::Connecting);
    ImplOnDisconnect();
  }
  if (notify_ != nullptr) {
    notify_->OnDisconnect();
  }
}

void ServiceNet::Connected(const Fd& fd, const INet4::Addr& peer) {
  if (state() == State::Deactivating) {
    return;
  }
  if (!SetIntOption(fd.get(), SOL_SOCKET, SO_KEEPALIVE, 1) && verbose()) {
    std::cerr << "fail set keepalive to control socket." << std::endl;
  }
  if (!SetIntOption(fd.get(), IPPROTO_TCP, TCP_NODELAY, 1) && verbose()) {
    std::cerr << "fail to turn off Nagle algorithm." << std::endl;
  }
  peer_address_ = peer;
  ConnectStack(fd, PeerText(peer));
}

void ServiceUnix::Connected(const Fd& fd, const std::string& peer) {
  if (state() == State::Deactivating) {
    return;
  }
  ConnectStack(fd, peer);
}

}  // namespace Control
