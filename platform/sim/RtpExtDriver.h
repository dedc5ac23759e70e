#pragma once

#include "platform/sim/Driver.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The RTP-extension device "/dev/rtp_ext": one extension session per open,
// carrying the radio signalling split off an RTP session of "/dev/rtp".
// It keeps each session's init record, checks the attach record (the named
// descriptor must be a live "/dev/rtp" open of the server, the pid -1 or the
// server's own, else EBADF), queues injected packets with their sender, answers
// the source request with the sender of the packet the next read returns (after
// a request that found none the next read returns none either, so a packet
// queued in between waits for the request that names its sender), keeps the
// newest 1,000 packets the server wrote (of all sessions together, so a
// thousand radios announcing for hours hold no more) and records the receive
// filter.
//
// The filter scope says what the filter holds back: "media" (the default)
// selects whose voice the RTP session delivers, so extension packets of every
// sender still arrive; "all" drops extension packets of other senders too.
//
// Its control commands are described beside their AddCommand calls.
class RtpExtDriver : public Driver {
 public:
  RtpExtDriver();

  struct Source {
    uint32_t ssrc;
    uint32_t address;  // network byte order
  };
  enum class Scope { kMedia, kAll };

  size_t Sessions();
  std::vector<uint8_t> InitRecord(size_t session);
  bool Attached(size_t session);
  // Queues count copies of the packet from source; the number queued.
  size_t Inject(size_t session, const Source& source, const std::vector<uint8_t>& packet, size_t count = 1);
  // The packets of the session among the newest kept, oldest first.
  std::vector<std::vector<uint8_t>> Written(size_t session);
  // Packets the server wrote so far, of all sessions.
  uint64_t WrittenCount() const;
  std::optional<uint32_t> Filter(size_t session);
  void SetScope(Scope scope);

 private:
  struct Session : OpenFile::State {
    std::vector<uint8_t> init;
    bool attached = false;
    int32_t fd_rtp = -1;
    int32_t pid_rtp = 0;
    std::optional<uint32_t> filter;
    // Sender of each queued packet by its position on the open.
    std::map<uint64_t, Source> sources;
    // The last source request found no packet: the next read gets none.
    bool read_held = false;
    // Tells this session's packets from those of sessions gone before.
    uint64_t number = 0;
  };
  struct WrittenPacket {
    uint64_t session;  // Session::number
    std::vector<uint8_t> bytes;
  };

  long OnOpen(OpenFile& file) override;
  long OnWrite(OpenFile& file, const std::vector<uint8_t>& record) override;
  long OnRead(OpenFile& file) override;
  OpenFile* SessionFile(size_t session);
  long Attach(OpenFile& file, Record& record);
  long AnswerSource(OpenFile& file, Record& record);
  Reply ControlSession(const std::vector<std::string>& args, const std::string& command);
  Reply ControlInject(const std::vector<std::string>& args);

  std::vector<std::vector<uint8_t>> WrittenBy(const Session& session) const;

  Scope scope_ = Scope::kMedia;
  uint64_t sessions_opened_ = 0;
  uint64_t written_count_ = 0;
  History<WrittenPacket> written_;
};

}  // namespace sim
