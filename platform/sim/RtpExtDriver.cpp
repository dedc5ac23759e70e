#include "platform/sim/RtpExtDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace sim {
namespace {

constexpr size_t kMaxPacket = 1024;
// The most copies one inject command queues; the queue fills long before.
constexpr unsigned long kMaxInjected = 1000000;

Reply NoSession(int session) {
  return Reply{false, "no session " + std::to_string(session)};
}

std::string Dotted(uint32_t address) {
  char text[INET_ADDRSTRLEN] = "";
  in_addr in{};
  in.s_addr = address;
  inet_ntop(AF_INET, &in, text, sizeof text);
  return text;
}

}  // namespace

RtpExtDriver::RtpExtDriver() : Driver("/dev/rtp_ext") {
  HandleRecord(0xc0144500, 20, [](OpenFile& file, Record& record) {
    file.StateAs<Session>().init = record.Bytes();
    return 0L;
  });
  HandleRecord(0xc0084501, 8, [this](OpenFile& file, Record& record) { return Attach(file, record); });
  HandleValue(0x20004502, [](OpenFile& file, unsigned long) {
    file.StateAs<Session>().attached = false;
    return 0L;
  });
  HandleRecord(0xc00c4503, 12, [this](OpenFile& file, Record& record) { return AnswerSource(file, record); });
  HandleRecord(0xc0084504, 8, [](OpenFile& file, Record& record) {
    // The address is kept as the server wrote it: network byte order.
    file.StateAs<Session>().filter = htonl(record.U32(0));
    return 0L;
  });
  HandleValue(0x20004505, [](OpenFile& file, unsigned long) {
    file.StateAs<Session>().filter.reset();
    return 0L;
  });
  // init|attached|written|filter <session>: the session's init record in hex;
  // "yes <fd_rtp> <pid_rtp>" or "no"; the packets it wrote in hex, oldest first;
  // its filter address or "none". Sessions are numbered from 0 in open order.
  for (const char* command : {"init", "attached", "written", "filter"}) {
    AddCommand(command,
               [this, command](const std::vector<std::string>& args) { return ControlSession(args, command); });
  }
  // inject <session> <ssrc> <a.b.c.d> <hex> [count]: count (1 by default)
  // copies of the packet arrive on the session from that sender (ssrc, IPv4
  // address); answers how many were queued, fewer when the queue filled or
  // the "all" scope's filter held them back.
  AddCommand("inject", [this](const std::vector<std::string>& args) { return ControlInject(args); });
  // scope media|all: what a session's filter holds back (the header says how).
  AddCommand("scope", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "scope media|all", 1);
    const std::optional<size_t> scope = in.Word("scope", {"media", "all"});
    if (in.Refused()) {
      return in.Refusal();
    }
    SetScope(*scope == 1 ? Scope::kAll : Scope::kMedia);
    return Reply{true, ""};
  });
}

long RtpExtDriver::OnOpen(OpenFile& file) {
  auto session = std::make_unique<Session>();
  session->number = ++sessions_opened_;
  file.state = std::move(session);
  return 0;
}

long RtpExtDriver::OnWrite(OpenFile& file, const std::vector<uint8_t>& record) {
  if (record.empty() || record.size() > kMaxPacket) {
    return -EINVAL;
  }
  written_.Add(WrittenPacket{file.StateAs<Session>().number, record});
  ++written_count_;
  return 0;
}

long RtpExtDriver::OnRead(OpenFile& file) {
  Session& session = file.StateAs<Session>();
  if (session.read_held) {
    session.read_held = false;
    return -EAGAIN;
  }
  return 0;
}

std::vector<std::vector<uint8_t>> RtpExtDriver::WrittenBy(const Session& session) const {
  std::vector<std::vector<uint8_t>> packets;
  for (const WrittenPacket& packet : written_) {
    if (packet.session == session.number) {
      packets.push_back(packet.bytes);
    }
  }
  return packets;
}

long RtpExtDriver::Attach(OpenFile& file, Record& record) {
  const int32_t fd_rtp = record.I32(0);
  const int32_t pid_rtp = record.I32(4);
  if ((pid_rtp != -1 && pid_rtp != getpid()) || Board::instance().PathOf(fd_rtp) != "/dev/rtp") {
    return -EBADF;
  }
  Session& session = file.StateAs<Session>();
  session.attached = true;
  session.fd_rtp = fd_rtp;
  session.pid_rtp = pid_rtp;
  return 0;
}

long RtpExtDriver::AnswerSource(OpenFile& file, Record& record) {
  Session& session = file.StateAs<Session>();
  const uint64_t next = Taken(file);
  session.sources.erase(session.sources.begin(), session.sources.lower_bound(next));
  auto found = session.sources.find(next);
  session.read_held = found == session.sources.end();
  if (session.read_held) {
    return -EAGAIN;
  }
  record.SetU32(0, found->second.ssrc).SetU32(4, ntohl(found->second.address)).SetU32(8, 0);
  return 0;
}

size_t RtpExtDriver::Sessions() {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  return Opens().size();
}

OpenFile* RtpExtDriver::SessionFile(size_t session) {
  Board::instance().Sweep();
  return session < Opens().size() ? Opens()[session] : nullptr;
}

std::vector<uint8_t> RtpExtDriver::InitRecord(size_t session) {
  auto lock = Board::Lock();
  OpenFile* file = SessionFile(session);
  return file == nullptr ? std::vector<uint8_t>() : file->StateAs<Session>().init;
}

bool RtpExtDriver::Attached(size_t session) {
  auto lock = Board::Lock();
  OpenFile* file = SessionFile(session);
  return file != nullptr && file->StateAs<Session>().attached;
}

size_t RtpExtDriver::Inject(size_t session, const Source& source, const std::vector<uint8_t>& packet, size_t count) {
  auto lock = Board::Lock();
  OpenFile* file = SessionFile(session);
  if (file == nullptr) {
    return 0;
  }
  Session& state = file->StateAs<Session>();
  if (scope_ == Scope::kAll && state.filter && *state.filter != source.address) {
    return 0;
  }
  size_t queued = 0;
  for (; queued < count; ++queued) {
    const uint64_t position = Delivered(*file);
    if (!Deliver(*file, packet)) {
      break;
    }
    state.sources[position] = source;
  }
  return queued;
}

std::vector<std::vector<uint8_t>> RtpExtDriver::Written(size_t session) {
  auto lock = Board::Lock();
  OpenFile* file = SessionFile(session);
  return file == nullptr ? std::vector<std::vector<uint8_t>>() : WrittenBy(file->StateAs<Session>());
}

uint64_t RtpExtDriver::WrittenCount() const {
  auto lock = Board::Lock();
  return written_count_;
}

std::optional<uint32_t> RtpExtDriver::Filter(size_t session) {
  auto lock = Board::Lock();
  OpenFile* file = SessionFile(session);
  return file == nullptr ? std::nullopt : file->StateAs<Session>().filter;
}

void RtpExtDriver::SetScope(Scope scope) {
  auto lock = Board::Lock();
  scope_ = scope;
}

Reply RtpExtDriver::ControlSession(const std::vector<std::string>& args, const std::string& command) {
  ControlArgs in(args, command + " <session>", 1);
  const std::optional<int> number = in.Int("session", 0, INT32_MAX);
  if (in.Refused()) {
    return in.Refusal();
  }
  OpenFile* file = SessionFile(static_cast<size_t>(*number));
  if (file == nullptr) {
    return NoSession(*number);
  }
  const Session& session = file->StateAs<Session>();
  if (command == "init") {
    return Reply{true, HexBytes(session.init)};
  }
  if (command == "attached") {
    return Reply{true, session.attached
                           ? "yes " + std::to_string(session.fd_rtp) + " " + std::to_string(session.pid_rtp)
                           : "no"};
  }
  if (command == "filter") {
    return Reply{true, session.filter ? Dotted(*session.filter) : "none"};
  }
  return Reply{true, HexFrames(WrittenBy(session))};
}

Reply RtpExtDriver::ControlInject(const std::vector<std::string>& args) {
  ControlArgs in(args, "inject <session> <ssrc> <a.b.c.d> <hex> [count]", 4, 5);
  const std::optional<int> session = in.Int("session", 0, INT32_MAX);
  const std::optional<uint32_t> ssrc = in.Word32("ssrc");
  const std::optional<uint32_t> address = in.Address("address");
  const std::optional<std::vector<uint8_t>> packet = in.Bytes("packet");
  if (packet && packet->size() > kMaxPacket) {
    in.Refuse("packet", "longer than " + std::to_string(kMaxPacket) + " bytes");
  }
  const std::optional<unsigned long> count = in.Left() > 0 ? in.Number("count", 1, kMaxInjected) : 1UL;
  if (in.Refused()) {
    return in.Refusal();
  }
  if (SessionFile(static_cast<size_t>(*session)) == nullptr) {
    return NoSession(*session);
  }
  const size_t queued = Inject(static_cast<size_t>(*session), Source{*ssrc, *address}, *packet, *count);
  return Reply{true, std::to_string(queued)};
}

}  // namespace sim
