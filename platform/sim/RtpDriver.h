#pragma once

#include "platform/sim/Driver.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// The simulated "/dev/rtp": one session per open. A session is begun with
// its 44-byte record and given a TDM channel from the pool 2048..3071 (or the
// channel it asks to reuse, once no other open session holds it); it queues
// 36-byte events for the server, which a test injects.
class RtpDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/rtp";
  static constexpr int32_t kFirstChannel = 2048;
  static constexpr int32_t kLastChannel = 3071;

  struct Session {
    std::vector<uint8_t> begin;  // the begin record, empty until begun
    int32_t channel = -1;
    int flags = 0;
    bool input_started = false;
    std::optional<uint32_t> detector_timeout;
    std::vector<uint8_t> attach;  // the join record, empty until joined
  };

  RtpDriver();

  // The open sessions, oldest first.
  std::vector<Session> Sessions();
  // The flags of every open, oldest first.
  std::vector<int> OpenFlags() const;
  // Queues an event, or a record of size bytes, for the session of the
  // channel; false when no open session holds it.
  bool InjectEvent(int32_t channel, uint32_t type, uint32_t value, uint32_t timeout);
  bool InjectShort(int32_t channel, size_t size);
  // Hangs up the session of the channel.
  bool HangUpSession(int32_t channel);

 private:
  struct State : OpenFile::State {
    Session session;
  };

  long OnOpen(OpenFile& file) override;
  OpenFile* FindChannel(int32_t channel);
  long AddChannel(OpenFile& file, Record& record);

  std::vector<int> open_flags_;
};

}  // namespace sim
