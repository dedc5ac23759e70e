#include "platform/sim/RtpDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <cerrno>

namespace sim {
namespace {

// The driver's layout: requests and record sizes.
constexpr unsigned long kBegin = 0xC02C5200;       // 44 bytes
constexpr unsigned long kAddChannel = 0xC0105202;  // 16 bytes: tdm, dev_no, chn, bss_enable
constexpr unsigned long kStartInput = 0x20005204;  // no record
constexpr unsigned long kStopInput = 0x20005205;   // no record
constexpr unsigned long kJoin = 0xC0085209;        // 8 bytes: fd, pid
constexpr unsigned long kPdEnable = 0xC024520C;    // 36 bytes: the timeout at 8
constexpr unsigned long kPdDisable = 0x8004520D;   // 4 bytes
constexpr unsigned long kDestroySteps[] = {0x2000520A, 0x20005203, 0x2000520B};
constexpr size_t kEventSize = 36;

Reply NoSession(int32_t channel) {
  return Reply{false, "no session on channel " + std::to_string(channel)};
}

Reply QueueFull(int32_t channel) {
  return Reply{false, "the event queue of channel " + std::to_string(channel) + " is full"};
}

}  // namespace

RtpDriver::RtpDriver() : Driver(kPath) {
  for (int32_t channel = kFirstChannel; channel <= kLastChannel; ++channel) {
    free_.insert(free_.end(), channel);
  }
  HandleRecord(kBegin, 44, [](OpenFile& file, Record& r) -> long {
    file.StateAs<State>().session.begin = r.Bytes();
    return 0;
  });
  HandleRecord(kAddChannel, 16, [this](OpenFile& file, Record& r) { return AddChannel(file, r); });
  HandleValue(kStartInput, [](OpenFile& file, unsigned long) -> long {
    file.StateAs<State>().session.input_started = true;
    return 0;
  });
  HandleValue(kStopInput, [](OpenFile& file, unsigned long) -> long {
    file.StateAs<State>().session.input_started = false;
    return 0;
  });
  for (unsigned long step : kDestroySteps) {
    HandleValue(step, [](OpenFile&, unsigned long) -> long { return 0; });
  }
  HandleRecord(kJoin, 8, [](OpenFile& file, Record& r) -> long {
    file.StateAs<State>().session.attach = r.Bytes();
    return 0;
  });
  HandleRecord(kPdEnable, 36, [](OpenFile& file, Record& r) -> long {
    file.StateAs<State>().session.detector_timeout = r.U32(8);
    return 0;
  });
  HandleRecord(kPdDisable, 4, [](OpenFile& file, Record&) -> long {
    file.StateAs<State>().session.detector_timeout.reset();
    return 0;
  });
  // event <channel> <type> <value> <timeout> | short <channel> <size> | session-hangup <channel> | sessions
  AddCommand("event", [this](const std::vector<std::string>& args) -> Reply {
    ControlArgs in(args, "event <channel> <type> <value> <timeout>", 4);
    const std::optional<int> channel = in.Int("channel", 0, INT32_MAX);
    const std::optional<uint32_t> type = in.Word32("type");
    const std::optional<uint32_t> value = in.Word32("value");
    const std::optional<uint32_t> timeout = in.Word32("timeout");
    if (in.Refused()) {
      return in.Refusal();
    }
    if (FindChannel(*channel) == nullptr) {
      return NoSession(*channel);
    }
    if (!InjectEvent(*channel, *type, *value, *timeout)) {
      return QueueFull(*channel);
    }
    return Reply{true, ""};
  });
  AddCommand("short", [this](const std::vector<std::string>& args) -> Reply {
    ControlArgs in(args, "short <channel> <size below 36>", 2);
    const std::optional<int> channel = in.Int("channel", 0, INT32_MAX);
    const std::optional<unsigned long> size = in.Number("size", 0, kEventSize - 1);
    if (in.Refused()) {
      return in.Refusal();
    }
    if (FindChannel(*channel) == nullptr) {
      return NoSession(*channel);
    }
    if (!InjectShort(*channel, *size)) {
      return QueueFull(*channel);
    }
    return Reply{true, ""};
  });
  AddCommand("session-hangup", [this](const std::vector<std::string>& args) -> Reply {
    ControlArgs in(args, "session-hangup <channel>", 1);
    const std::optional<int> channel = in.Int("channel", 0, INT32_MAX);
    if (in.Refused()) {
      return in.Refusal();
    }
    if (!HangUpSession(*channel)) {
      return NoSession(*channel);
    }
    return Reply{true, ""};
  });
  // "<channel>:<open flags>:<begin record hex>:<input on>:<detector timeout or ->" per session
  AddCommand("sessions", [this](const std::vector<std::string>& args) -> Reply {
    if (!args.empty()) {
      return Reply{false, "usage: sessions"};
    }
    std::string text;
    for (const Session& s : Sessions()) {
      text += (text.empty() ? "" : " ") + std::to_string(s.channel) + ":" + std::to_string(s.flags) + ":" +
              HexBytes(s.begin) + ":" + (s.input_started ? "1" : "0") + ":" +
              (s.detector_timeout ? std::to_string(*s.detector_timeout) : "-");
    }
    return Reply{true, text};
  });
}

long RtpDriver::OnOpen(OpenFile& file) {
  auto state = std::make_unique<State>();
  state->session.flags = file.Flags();
  file.state = std::move(state);
  ++opened_;
  return 0;
}

void RtpDriver::OnRelease(OpenFile& file) {
  const int32_t channel = file.StateAs<State>().session.channel;
  if (channel >= 0) {
    Free(channel);
  }
}

OpenFile* RtpDriver::FindChannel(int32_t channel) {
  // Sessions whose descriptor was closed give their channels back first.
  Board::instance().Sweep();
  auto found = holders_.find(channel);
  return found == holders_.end() ? nullptr : found->second;
}

long RtpDriver::AddChannel(OpenFile& file, Record& r) {
  Session& session = file.StateAs<State>().session;
  if (session.begin.empty()) {
    return -EINVAL;
  }
  int32_t channel = r.I32(0);
  if (channel >= 0) {
    OpenFile* holder = FindChannel(channel);
    if (holder != nullptr && holder != &file) {
      return -EBUSY;
    }
  } else {
    Board::instance().Sweep();
    if (free_.empty()) {
      return -ENOSPC;
    }
    channel = *free_.begin();
  }
  Hold(file, channel);
  r.SetI32(0, channel);
  return 0;
}

void RtpDriver::Hold(OpenFile& file, int32_t channel) {
  Session& session = file.StateAs<State>().session;
  if (session.channel >= 0 && session.channel != channel) {
    Free(session.channel);
  }
  session.channel = channel;
  holders_[channel] = &file;
  free_.erase(channel);
}

void RtpDriver::Free(int32_t channel) {
  holders_.erase(channel);
  if (channel >= kFirstChannel && channel <= kLastChannel) {
    free_.insert(channel);
  }
}

std::vector<RtpDriver::Session> RtpDriver::Sessions() {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  std::vector<Session> sessions;
  for (OpenFile* file : Opens()) {
    if (file->state) {
      sessions.push_back(file->StateAs<State>().session);
    }
  }
  return sessions;
}

uint64_t RtpDriver::Opened() const {
  auto lock = Board::Lock();
  return opened_;
}

bool RtpDriver::InjectEvent(int32_t channel, uint32_t type, uint32_t value, uint32_t timeout) {
  auto lock = Board::Lock();
  OpenFile* file = FindChannel(channel);
  if (file == nullptr) {
    return false;
  }
  Record event(kEventSize);
  event.SetU32(0, type).SetU32(4, value).SetU32(8, timeout);
  return Deliver(*file, event.Bytes());
}

bool RtpDriver::InjectShort(int32_t channel, size_t size) {
  auto lock = Board::Lock();
  OpenFile* file = FindChannel(channel);
  return file != nullptr && Deliver(*file, std::vector<uint8_t>(size, 0));
}

bool RtpDriver::HangUpSession(int32_t channel) {
  auto lock = Board::Lock();
  OpenFile* file = FindChannel(channel);
  if (file == nullptr) {
    return false;
  }
  HangUp(*file);
  return true;
}

}  // namespace sim
