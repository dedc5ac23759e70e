#pragma once

#include "schemas/LGCP.h"
#include "tests/support/NumberedMessage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

class ServerProcess;

using Bytes = std::vector<uint8_t>;

// The test controller: a TCP client of the server's controller port that
// frames what it sends in TPKT (RFC 1006) and cuts the answers out of their
// frames. Messages go through the project's coder; the simple answers are
// also compared as raw bytes by the tests themselves.
class Controller {
 public:
  explicit Controller(ServerProcess& server) : server_(server) {}
  ~Controller();
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  [[nodiscard]] bool Connect();
  void Close();

  // Sends the bytes as they stand, in one write.
  [[nodiscard]] bool SendBytes(const Bytes& bytes);
  [[nodiscard]] bool SendPayload(const Bytes& payload) { return SendBytes(test_support::TpktFrame(payload)); }
  [[nodiscard]] bool Send(const LGCP::Message& message);

  // The next payload, nothing when the connection ended or on a hang. The
  // signals the board's watchers send on their own (at a connect, when the
  // clock moves) are skipped: trunk statuses, and power states, which are kept
  // for PowerSignals.
  std::optional<Bytes> ReadPayload();
  // The power states of the power signals skipped so far, oldest first.
  const std::vector<int>& PowerSignals() const { return powers_; }
  // The next payload decoded; false (with a test failure) when there is none
  // or it does not decode.
  [[nodiscard]] bool Read(LGCP::Message& message);
  // Pings and drops everything the server sent before the answer, such as the
  // trunk status signals that follow a connect; false when no answer came.
  [[nodiscard]] bool Sync();
  // True when the server closes the connection; what it sent before is dropped.
  [[nodiscard]] bool WaitClosed();

 private:
  // Reads more into pending_; false when the connection ended or on a hang.
  bool Receive();
  std::optional<Bytes> ReadFrame();

  ServerProcess& server_;
  int fd_ = -1;
  // The server ended the connection.
  bool closed_ = false;
  Bytes pending_;
  std::vector<int> powers_;
};

// Message builders of the test controller. A seq or slot left empty is absent;
// fill, where given, fills in the command.
LGCP::Message Command(std::optional<int> seq, std::optional<unsigned> slot,
                      const std::function<void(LGCP::Command&)>& fill = nullptr);
LGCP::Message Ping(std::optional<int> seq = std::nullopt, std::optional<unsigned> slot = std::nullopt);
LGCP::Message CreateTrunk(int seq, unsigned slot, int trunk, int timeslot);
LGCP::Message Connect(int seq, unsigned source, unsigned listener);
LGCP::Message Disconnect(int seq, unsigned listener);
LGCP::Message Destroy(int seq, unsigned slot);

// What a test expects of one message from the server; a field left empty must
// be absent.
struct Expected {
  std::optional<int> seq;
  std::optional<unsigned> slot;
  // "success", "error <cause>", or the signal alternative: "receiver active 37",
  // "transmitter inactive", "query".
  std::string what;
};
// The message in the form of Expected::what, for comparisons and failures.
std::string Describe(const LGCP::Message& message);
// Reads the next message and compares every field; a failure names the field.
void ExpectNext(Controller& controller, const Expected& expected);

}  // namespace e2e
