#pragma once

#include "runtime/transport/ControlService.h"
#include "schemas/LGCP.h"
#include "server/CtrlSrv.h"
#include "tests/support/ControlLoop.h"
#include "tests/support/NumberedMessage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace ctrlsrv_test {

using Bytes = std::vector<uint8_t>;

// The controller's connection as the server owns it: a real control service whose socket is one end of a socket
// pair; the test plays the controller on the other end. The server deletes it whenever it drops it, so it clears the
// test's borrowed pointer to it as it goes.
class PairedConnection : public Control::ServiceUnix {
 public:
  explicit PairedConnection(PairedConnection*& borrowed) : ServiceUnix(false), borrowed_(borrowed) { borrowed_ = this; }
  ~PairedConnection() override {
    if (borrowed_ == this) {
      borrowed_ = nullptr;
    }
  }

 protected:
  bool ImplActivate() override { return true; }
  void ImplDeactivate() override {}
  void ImplOnDisconnect() override {}

 private:
  PairedConnection*& borrowed_;
};

// Captures one standard stream for the life of the object.
class Capture {
 public:
  explicit Capture(std::ostream& stream) : stream_(stream), saved_(stream.rdbuf(text_.rdbuf())) {}
  ~Capture() { stream_.rdbuf(saved_); }
  std::string Text() const { return text_.str(); }

 private:
  std::ostream& stream_;
  std::ostringstream text_;
  std::streambuf* saved_;
};

// Runs a few loop passes: enough for a frame to be read and answered, or for a disconnect to be reported.
inline void Pump() {
  control_test::RunPasses(5);
}

using test_support::Decode;
using test_support::Encode;

// A message of the given command alternative (one without parameters, or with default ones).
inline LGCP::Message Command(LGCP::Command::Alternative alternative, std::optional<int32_t> seq = std::nullopt,
                             std::optional<unsigned> slot = std::nullopt) {
  LGCP::Message message = test_support::NumberedMessage(seq, slot);
  EXPECT_TRUE(message.get_pdu().select_command().select(alternative));
  return message;
}

// Command alternatives used by the tests.
constexpr auto kQuery = LGCP::Command::Alternative::query;
constexpr auto kDestroy = LGCP::Command::Alternative::destroy;
constexpr auto kPing = LGCP::Command::Alternative::ping;

// An answer or signal in one line: "seq=7 slot=5 success", "error 4", "slot=3 signal 5".
inline std::string Describe(const LGCP::Message& message) {
  std::ostringstream text;
  if (message.has_seq()) {
    text << "seq=" << message.get_seq().getValue() << ' ';
  }
  if (message.has_slot()) {
    text << "slot=" << message.get_slot().getValue() << ' ';
  }
  const LGCP::PDU& pdu = message.get_pdu();
  if (pdu.is_response() && pdu.get_response().is_success()) {
    text << "success";
  } else if (pdu.is_response()) {
    text << "error " << pdu.get_response().get_error().getValue();
  } else if (pdu.is_signal()) {
    text << "signal " << pdu.get_signal().currentSelection();
  } else {
    text << "not an answer";
  }
  return text.str();
}

// A bound service whose answer to each command is set by the test; it writes what it hears into a shared journal.
class FakeService : public CtrlSrv::Service {
 public:
  using Reaction = std::function<bool(FakeService&, const LGCP::Command&)>;

  FakeService(std::string name, std::vector<std::string>& journal) : name_(std::move(name)), journal_(journal) {}

  void OnConnect() override { journal_.push_back(name_ + " connect"); }
  void OnDisconnect() override { journal_.push_back(name_ + " disconnect"); }
  bool OnCommand(const LGCP::Command& command) override {
    journal_.push_back(name_ + " command " + std::to_string(command.currentSelection()));
    return reaction ? reaction(*this, command) : false;
  }
  void OnSignal(const LGCP::Signal& signal) override {
    journal_.push_back(name_ + " signal " + std::to_string(signal.currentSelection()));
  }

  // Not taken unless set.
  Reaction reaction;

 private:
  std::string name_;
  std::vector<std::string>& journal_;
};

// A controller server with its connection up, and the controller's end of it.
class ControllerLink {
 public:
  ControllerLink() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    server_end_ = Fd(fds[0]);
    controller_ = Fd(fds[1]);
    EXPECT_EQ(fcntl(controller_.get(), F_SETFL, O_NONBLOCK), 0);
  }

  // Hands the server its connection, still waiting for the controller.
  void Activate() { EXPECT_TRUE(server.Activate(std::make_unique<PairedConnection>(connection_))); }
  // The controller is there: the bound services hear the connect.
  void Connect() {
    if (connection_ == nullptr) {
      Activate();
    }
    connection_->Connected(server_end_, "controller");
  }

  void SendPayload(const Bytes& payload) {
    const Bytes frame = test_support::TpktFrame(payload);
    ASSERT_EQ(write(controller_.get(), frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    Pump();
  }
  void Send(const LGCP::Message& message) { SendPayload(Encode(message)); }

  // The payload of every frame the server sent since the last call.
  std::vector<Bytes> ReceivedPayloads() {
    Pump();
    uint8_t buffer[4096];
    ssize_t count;
    while ((count = read(controller_.get(), buffer, sizeof buffer)) > 0) {
      pending_.insert(pending_.end(), buffer, buffer + count);
    }
    std::vector<Bytes> payloads;
    while (std::optional<Bytes> payload = test_support::TakeTpktPayload(pending_)) {
      payloads.push_back(*payload);
    }
    return payloads;
  }

  // The same, each decoded and described by Describe.
  std::vector<std::string> Received() {
    std::vector<std::string> answers;
    for (const Bytes& payload : ReceivedPayloads()) {
      LGCP::Message message;
      EXPECT_TRUE(Decode(payload, message));
      answers.push_back(Describe(message));
    }
    return answers;
  }

  bool IsConnected() {
    bool connected = false;
    return server.CheckServerConnection(connected) && connected;
  }

 private:
  // Declared before the server, so that it outlives the connection that clears it.
  PairedConnection* connection_ = nullptr;

 public:
  CtrlSrv::Server server;

 private:
  Fd server_end_;
  Fd controller_;
  Bytes pending_;
};

}  // namespace ctrlsrv_test
