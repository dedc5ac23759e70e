#pragma once

#include "runtime/clock/Measure.h"
#include "runtime/loop/Event.h"
#include "runtime/net/Fd.h"
#include "runtime/protocol/Protocol.h"

#include <cstdint>
#include <ostream>
#include <string>

// Bottom layer of a control connection: owns a connected stream socket, hands
// whatever one recv returns to the layer above and writes what comes down.
// A write waits at most 1000 ms for a stalled peer, feeding the watchdog
// meanwhile. Any socket failure closes the socket first and then reports an
// error status upward, so one socket gives at most one failure report.
class StrmProtocol : public Protocol {
 public:
  StrmProtocol();
  // Attaches a duplicate of fd.
  explicit StrmProtocol(const Fd& fd);
  ~StrmProtocol() override;

  // Keeps its own duplicate of the socket, releasing the one it had.
  void attach(Fd fd);
  // Stops polling and closes the socket, without a report.
  void release();
  // The peer has shut its side down or the socket failed; what the peer sent
  // before may still wait to be read. False without a socket.
  bool peer_closed() const;

  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  void local_activate() override;
  void local_deactivate() override;
  // Writes the packet's data bytes; a packet with no socket to go to is dropped.
  void message(Packet& packet) override;

  void on_event(int fd, short revents);

  // Socket statistics for the error lines; -1 when the query fails.
  int sendbuf_space() const;
  int recvbuf_space() const;
  int free_space() const;
  int inq_space() const;
  int outq_space() const;

  // "SockStream[<service name>]: "
  void PutHeader(std::ostream& os) const;
  void service_name(const std::string& name) { service_name_ = name; }
  const std::string& service_name() const { return service_name_; }

  const Measure& read_measure() const { return read_measure_; }
  const Measure& write_measure() const { return write_measure_; }
  uint32_t overflow_counter() const { return overflow_counter_; }

 private:
  void read();
  // Writes every byte, or reports why it could not.
  void write_all(const uint8_t* bytes, unsigned len);
  // Waits for room to write until one second after start_ms; false on timeout.
  bool wait_writable(uint32_t start_ms);
  void log_write_failure(const char* what, int error);
  void on_error(const std::string& text);

  Fd fd_;
  // Some kernels answer the output-queue query with the free space instead.
  bool outq_reports_free_ = false;
  std::string service_name_;
  Event event_;
  Measure read_measure_;
  Measure write_measure_;
  uint32_t overflow_counter_ = 0;
};
