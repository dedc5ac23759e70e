#include "tests/e2e/Controller.h"

#include "tests/e2e/ServerProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace e2e {
namespace {

// The signal of a payload that holds one.
std::optional<LGCP::Signal> SignalOf(const Bytes& payload) {
  LGCP::Message message;
  if (!test_support::Decode(payload, message) || !message.get_pdu().is_signal()) {
    return std::nullopt;
  }
  return message.get_pdu().get_signal();
}

std::string DescribeStream(const char* name, const LGCP::Stream& stream) {
  if (stream.is_inactive()) {
    return std::string(name) + " inactive";
  }
  return std::string(name) + " active " + std::to_string(stream.get_active().getValue());
}

std::string DescribeSignal(const LGCP::Signal& signal) {
  switch (signal.alternative()) {
    case LGCP::Signal::Alternative::query:
      return "query";
    case LGCP::Signal::Alternative::receiver:
      return DescribeStream("receiver", signal.get_receiver());
    case LGCP::Signal::Alternative::transmitter:
      return DescribeStream("transmitter", signal.get_transmitter());
    default:
      return "signal #" + std::to_string(signal.currentSelection());
  }
}

}  // namespace

Controller::~Controller() {
  Close();
}

bool Controller::Connect() {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(server_.port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Close();
    return false;
  }
  // Split frames must reach the server as the test split them.
  int on = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return true;
}

void Controller::Close() {
  if (fd_ >= 0) {
    close(fd_);
  }
  fd_ = -1;
  closed_ = false;
  pending_.clear();
}

bool Controller::SendBytes(const Bytes& bytes) {
  return fd_ >= 0 && send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool Controller::Send(const LGCP::Message& message) {
  return SendPayload(test_support::Encode(message));
}

std::optional<Bytes> Controller::ReadPayload() {
  for (;;) {
    std::optional<Bytes> payload = ReadFrame();
    const std::optional<LGCP::Signal> signal = payload ? SignalOf(*payload) : std::nullopt;
    if (signal && signal->is_power()) {
      powers_.push_back(signal->get_power().getValue());
      continue;
    }
    if (!signal || !signal->is_trunkStatus()) {
      return payload;
    }
  }
}

std::optional<Bytes> Controller::ReadFrame() {
  std::optional<Bytes> payload;
  while (!(payload = test_support::TakeTpktPayload(pending_))) {
    if (!Receive()) {
      return std::nullopt;
    }
  }
  return payload;
}

bool Controller::Read(LGCP::Message& message) {
  std::optional<Bytes> payload = ReadPayload();
  if (!payload) {
    ADD_FAILURE() << "no message from the server; its output:\n" << server_.output();
    return false;
  }
  if (!test_support::Decode(*payload, message)) {
    ADD_FAILURE() << "a message that does not decode, " << payload->size() << " octets";
    return false;
  }
  return true;
}

bool Controller::Sync() {
  constexpr int kSyncSeq = 0x5EC5EC;
  if (!Send(Ping(kSyncSeq))) {
    return false;
  }
  for (;;) {
    LGCP::Message message;
    if (!Read(message)) {
      return false;
    }
    if (Describe(message) == "success" && message.has_seq() && message.get_seq().getValue() == kSyncSeq) {
      return true;
    }
  }
}

bool Controller::WaitClosed() {
  while (Receive()) {
  }
  pending_.clear();
  return closed_;
}

bool Controller::Receive() {
  if (fd_ < 0 || (server_.Wait(fd_, POLLIN) & (POLLIN | POLLHUP | POLLERR)) == 0) {
    return false;
  }
  uint8_t buffer[4096];
  ssize_t count = recv(fd_, buffer, sizeof buffer, 0);
  if (count <= 0) {
    closed_ = true;
    return false;
  }
  pending_.insert(pending_.end(), buffer, buffer + count);
  return true;
}

LGCP::Message Command(std::optional<int> seq, std::optional<unsigned> slot,
                      const std::function<void(LGCP::Command&)>& fill) {
  LGCP::Message message = test_support::NumberedMessage(seq, slot);
  LGCP::Command& command = message.get_pdu().select_command();
  if (fill) {
    fill(command);
  }
  return message;
}

LGCP::Message Ping(std::optional<int> seq, std::optional<unsigned> slot) {
  LGCP::Message message = Command(seq, slot);
  message.get_pdu().get_command().select_ping();
  return message;
}

LGCP::Message CreateTrunk(int seq, unsigned slot, int trunk, int timeslot) {
  LGCP::Message message = Command(seq, slot);
  LGCP::TrunkParams& params = message.get_pdu().get_command().select_create().select_trunk();
  params.set_trunk(trunk);
  params.set_timeslot(timeslot);
  return message;
}

LGCP::Message Connect(int seq, unsigned source, unsigned listener) {
  LGCP::Message message = Command(seq, source);
  message.get_pdu().get_command().select_connect() = listener;
  return message;
}

LGCP::Message Disconnect(int seq, unsigned listener) {
  LGCP::Message message = Command(seq, listener);
  message.get_pdu().get_command().select_disconnect();
  return message;
}

LGCP::Message Destroy(int seq, unsigned slot) {
  LGCP::Message message = Command(seq, slot);
  message.get_pdu().get_command().select_destroy();
  return message;
}

std::string Describe(const LGCP::Message& message) {
  const LGCP::PDU& pdu = message.get_pdu();
  switch (pdu.alternative()) {
    case LGCP::PDU::Alternative::command:
      return "command #" + std::to_string(pdu.get_command().currentSelection());
    case LGCP::PDU::Alternative::response:
      if (pdu.get_response().is_success()) {
        return "success";
      }
      return std::string("error ") + pdu.get_response().get_error().getName();
    case LGCP::PDU::Alternative::signal:
      return DescribeSignal(pdu.get_signal());
  }
  return "no pdu";
}

void ExpectNext(Controller& controller, const Expected& expected) {
  LGCP::Message message;
  if (!controller.Read(message)) {
    ADD_FAILURE() << "expected " << expected.what;
    return;
  }
  EXPECT_EQ(Describe(message), expected.what);
  std::optional<int> seq;
  if (message.has_seq()) {
    seq = message.get_seq().getValue();
  }
  std::optional<unsigned> slot;
  if (message.has_slot()) {
    slot = message.get_slot().getValue();
  }
  EXPECT_EQ(seq, expected.seq) << "seq of " << expected.what;
  EXPECT_EQ(slot, expected.slot) << "slot of " << expected.what;
}

}  // namespace e2e
