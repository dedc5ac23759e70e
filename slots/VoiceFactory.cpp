#include "slots/VoiceFactory.h"

#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "slots/VoiceSlots.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

namespace {

// Transparent channels of 1024-byte units; a player's threshold is on the
// transmit side, a recorder's on the receive side.
constexpr mcc_alloc_params kPlayerChannel{mcc_alloc_params::kTransparent, 1024, 0, 0, 5};
constexpr mcc_alloc_params kRecorderChannel{mcc_alloc_params::kTransparent, 1024, 0, 5, 0};

}  // namespace

std::string dhost2str(const TERM::HostAddress& host) {
  return host.get_iaddr() + ":" + std::to_string(host.get_port().getValue());
}

VoiceFactory& VoiceFactory::instance() {
  static VoiceFactory factory;
  return factory;
}

void VoiceFactory::PutHeader(std::ostream& os) const {
  // The count has never counted anything; the header keeps its place.
  os << "voice/mcc"
     << "[" << 0 << "]: ";
}

std::unique_ptr<Slot> VoiceFactory::INewSlot(const LGCP::CreateParams& params) {
  if (!params.is_voice()) {
    return nullptr;
  }
  const LGCP::VoiceParams& voice = params.get_voice();
  if (voice.is_record()) {
    return CreateRecord(dhost2str(voice.get_record()));
  }
  return CreatePlay(voice.get_player());
}

std::unique_ptr<Slot> VoiceFactory::CreatePlay(const LGCP::PlayerParams& params) {
  if (!params.is_network() && !params.is_file()) {
    return nullptr;
  }
  std::optional<Mcc::Channel> channel =
      OpenChannel(O_WRONLY, kPlayerChannel, "fail to open /dev/mcc/ctl device for writing: ");
  if (!channel) {
    return nullptr;
  }
  std::unique_ptr<PlaySlotGeneric> slot;
  if (params.is_network()) {
    const LGCP::PlayerParams_network& network = params.get_network();
    slot = std::make_unique<PlaySlotNetwork>(std::move(channel->fd), dhost2str(network.get_host()),
                                             network.get_id().getValue());
  } else {
    const LGCP::PlayerParams_file& file = params.get_file();
    std::vector<std::string> names;
    for (const ASN1::IA5String& name : file.get_name()) {
      names.push_back(name);
    }
    slot = std::make_unique<PlaySlotFile>(std::move(channel->fd), std::move(names),
                                          static_cast<uint32_t>(file.get_repeat().getValue()));
  }
  players_.push_back(slot.get());
  return slot;
}

std::unique_ptr<Slot> VoiceFactory::CreateRecord(const std::string& host) {
  std::optional<Mcc::Channel> channel =
      OpenChannel(O_RDONLY, kRecorderChannel, "fail to open /dev/mcc/ctl device for reading: ");
  if (!channel) {
    return nullptr;
  }
  auto slot = std::make_unique<RecordSlot>(host, channel->switch_channel, std::move(channel->fd));
  recorders_.push_back(slot.get());
  return slot;
}

void VoiceFactory::OnDestroy(RecordSlot* slot) {
  recorders_.erase(std::remove(recorders_.begin(), recorders_.end(), slot), recorders_.end());
}

void VoiceFactory::OnDestroy(PlaySlotGeneric* slot) {
  players_.erase(std::remove(players_.begin(), players_.end(), slot), players_.end());
}

std::optional<Mcc::Channel> VoiceFactory::OpenChannel(int flags, const mcc_alloc_params& params,
                                                      const char* open_failure) const {
  Fd fd(platform::Open(Mcc::kDevice, flags | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    std::cerr << ext::header(this) << open_failure << std::strerror(errno) << std::endl;
    return std::nullopt;
  }
  if (Mcc::Allocate(fd.get(), params) < 0) {
    std::cerr << ext::header(this) << "MCC_ALLOCATE fail: " << std::strerror(errno) << std::endl;
    return std::nullopt;
  }
  const int switch_channel = Mcc::Timeslot(fd.get());
  if (switch_channel < 0) {
    std::cerr << ext::header(this) << "MCC_TIMESLOT request failed." << std::endl;
    return std::nullopt;
  }
  return Mcc::Channel{std::move(fd), switch_channel};
}
