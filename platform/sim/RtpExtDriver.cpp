#include "platform/sim/RtpExtDriver.h"

#include "platform/sim/Board.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace sim {
namespace {

constexpr size_t kMaxPacket = 1024;

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
  // init|attached|written|filter <session>, inject <session> <ssrc> <a.b.c.d> <hex> [count] and
  // scope media|all: as the header describes them.
  for (const char* command : {"init", "attached", "written", "filter"}) {
    AddCommand(command,
               [this, command](const std::vector<std::string>& args) { return ControlSession(args, command); });
  }
  AddCommand("inject", [this](const std::vector<std::string>& args) { return ControlInject(args); });
  AddCommand("scope", [this](const std::vector<std::string>& args) {
    if (args.size() != 1 || (args[0] != "media" && args[0] != "all")) {
      return Reply{false, "usage: scope media|all"};
    }
    SetScope(args[0] == "all" ? Scope::kAll : Scope::kMedia);
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
  std::optional<unsigned long> number = args.size() == 1 ? ParseNumber(args[0]) : std::nullopt;
  OpenFile* file = number ? SessionFile(*number) : nullptr;
  if (file == nullptr) {
    return Reply{false, "usage: " + command + " <session>"};
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
  const Reply usage{false, "usage: inject <session> <ssrc> <a.b.c.d> <hex> [count]"};
  if (args.size() != 4 && args.size() != 5) {
    return usage;
  }
  std::optional<unsigned long> session = ParseNumber(args[0]);
  std::optional<unsigned long> ssrc = ParseNumber(args[1]);
  std::optional<std::vector<uint8_t>> packet = ParseHex(args[3]);
  std::optional<unsigned long> count = args.size() == 5 ? ParseNumber(args[4]) : 1UL;
  in_addr address{};
  if (!session || !ssrc || *ssrc > UINT32_MAX || !packet || packet->empty() || packet->size() > kMaxPacket || !count ||
      inet_pton(AF_INET, args[2].c_str(), &address) != 1) {
    return usage;
  }
  const size_t queued = Inject(*session, Source{static_cast<uint32_t>(*ssrc), address.s_addr}, *packet, *count);
  return Reply{true, std::to_string(queued)};
}

}  // namespace sim
