#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// The records of the kernel RTP device "/dev/rtp" and of the RTP-extension
// device "/dev/rtp_ext", with their request codes. The structures hold the
// values; the codecs give and take the driver's bytes (big-endian, the
// board's padding), so the slots, the printers and the simulated board's
// tests all agree on one layout. IPv4 addresses are held as numbers (the
// first octet in the top byte), so their record bytes are in network order.
namespace rtp_device {

constexpr unsigned long kBeginSession = 0xC02C5200;
constexpr unsigned long kAddChannel = 0xC0105202;
constexpr unsigned long kDestroyStep2 = 0x20005203;
constexpr unsigned long kStartInput = 0x20005204;
constexpr unsigned long kStopInput = 0x20005205;
constexpr unsigned long kAttachSession = 0xC0085209;
constexpr unsigned long kDestroyStep1 = 0x2000520A;
constexpr unsigned long kDestroyStep3 = 0x2000520B;
constexpr unsigned long kEnablePacketDetector = 0xC024520C;
constexpr unsigned long kDisablePacketDetector = 0x8004520D;

constexpr size_t kConnectionParamsSize = 44;
constexpr size_t kChannelInfoSize = 16;
constexpr size_t kEventSize = 36;
constexpr size_t kAttachSessionSize = 8;
constexpr size_t kExtInitSize = 20;
constexpr uint32_t kPacketDetectorEvent = 1;

}  // namespace rtp_device

// Begins a session: where the media goes and how it is coded.
struct rtp_connection_params {
  uint32_t remote_ip = 0;
  uint16_t remote_port = 0;
  uint32_t local_ip = 0;
  uint16_t local_port = 0;
  uint16_t rx_pt = 0;
  uint16_t tx_pt = 0;
  uint16_t packet_factor = 0;
  uint8_t vad = 0;
  uint8_t crate = 0;
  uint32_t ssrc = 0;
  uint32_t ttl = 0;
  int32_t tos = -1;
};

// Adds the TDM channel of a session; -1 asks the driver to choose.
struct rtp_channel_info {
  int32_t tdm = -1;
  int32_t dev_no = -1;
  int32_t chn = -1;
  int32_t bss_enable = 0;
};

// One event of a session; for the packet detector (type 1) value and timeout.
struct rtp_event {
  uint32_t type = 0;
  uint32_t value = 0;
  uint32_t timeout = 0;
};

// Joins an RTP session another process holds.
struct rtp_attach_session_params {
  int32_t fd_rtp = -1;
  int32_t pid_rtp = -1;
};

// Attaches an extension session to an RTP session.
struct rtp_ext_attach_session_params {
  int32_t fd_rtp = -1;
  int32_t pid_rtp = -1;
};

// Sets an extension session up: the protocol and its four words.
struct rtp_ext_init_params {
  uint16_t etype = 0;
  std::array<uint32_t, 4> words{};
};

namespace rtp_device {

using ConnectionRecord = std::array<uint8_t, kConnectionParamsSize>;
using ChannelRecord = std::array<uint8_t, kChannelInfoSize>;
using EventRecord = std::array<uint8_t, kEventSize>;
using AttachRecord = std::array<uint8_t, kAttachSessionSize>;
using ExtInitRecord = std::array<uint8_t, kExtInitSize>;

ConnectionRecord Encode(const rtp_connection_params& params);
rtp_connection_params DecodeConnection(const ConnectionRecord& record);
ChannelRecord Encode(const rtp_channel_info& info);
rtp_channel_info DecodeChannel(const ChannelRecord& record);
EventRecord Encode(const rtp_event& event);
// Nothing unless the bytes are exactly one event record.
std::optional<rtp_event> DecodeEvent(const uint8_t* bytes, size_t size);
AttachRecord Encode(const rtp_attach_session_params& params);
AttachRecord Encode(const rtp_ext_attach_session_params& params);
ExtInitRecord Encode(const rtp_ext_init_params& params);
// The packet-detector enable record: the timeout in words 2 and 5.
EventRecord PacketDetectorEnable(uint32_t timeout);
// The packet-detector disable record: one word of value 1.
std::array<uint8_t, 4> PacketDetectorDisable();

}  // namespace rtp_device
