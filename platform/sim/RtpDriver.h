#pragma once

#include "platform/sim/Driver.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace sim {

// The simulated "/dev/rtp": one session per open. A session is begun with
// its 44-byte record and given the lowest free TDM channel of the pool
// 2048..3071 (or the channel it asks to reuse, once no other open session
// holds it); it queues 36-byte events for the server, which a test injects.
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
  // Opens of the device so far, the closed ones too.
  uint64_t Opened() const;
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
  void OnRelease(OpenFile& file) override;
  OpenFile* FindChannel(int32_t channel);
  long AddChannel(OpenFile& file, Record& record);
  // The session of file holds channel, and no longer the one it held before.
  void Hold(OpenFile& file, int32_t channel);
  void Free(int32_t channel);

  uint64_t opened_ = 0;
  // The session holding each channel, and the pool's channels none holds.
  std::map<int32_t, OpenFile*> holders_;
  std::set<int32_t> free_;
};

}  // namespace sim
