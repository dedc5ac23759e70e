#include "platform/RtpRecords.h"

#include "platform/ByteOrder.h"

namespace rtp_device {

using platform::BeReader;
using platform::BeWriter;

ConnectionRecord Encode(const rtp_connection_params& params) {
  ConnectionRecord record{};
  BeWriter(record.data(), record.size())
      .U32(params.remote_ip)
      .U16(params.remote_port)
      .Zero(2)
      .U32(params.local_ip)
      .U16(params.local_port)
      .U16(params.rx_pt)
      .U16(params.tx_pt)
      .U16(params.packet_factor)
      .U8(params.vad)
      .U8(params.crate)
      .Zero(2)
      .U32(params.ssrc)
      .Zero(8)
      .U32(params.ttl)
      .I32(params.tos);
  return record;
}

rtp_connection_params DecodeConnection(const ConnectionRecord& record) {
  BeReader in(record.data(), record.size());
  rtp_connection_params params;
  params.remote_ip = in.U32();
  params.remote_port = in.U16();
  in.Skip(2);
  params.local_ip = in.U32();
  params.local_port = in.U16();
  params.rx_pt = in.U16();
  params.tx_pt = in.U16();
  params.packet_factor = in.U16();
  params.vad = in.U8();
  params.crate = in.U8();
  in.Skip(2);
  params.ssrc = in.U32();
  in.Skip(8);
  params.ttl = in.U32();
  params.tos = in.I32();
  return params;
}

ChannelRecord Encode(const rtp_channel_info& info) {
  ChannelRecord record{};
  BeWriter(record.data(), record.size()).I32(info.tdm).I32(info.dev_no).I32(info.chn).I32(info.bss_enable);
  return record;
}

rtp_channel_info DecodeChannel(const ChannelRecord& record) {
  BeReader in(record.data(), record.size());
  rtp_channel_info info;
  info.tdm = in.I32();
  info.dev_no = in.I32();
  info.chn = in.I32();
  info.bss_enable = in.I32();
  return info;
}

EventRecord Encode(const rtp_event& event) {
  EventRecord record{};
  BeWriter(record.data(), record.size()).U32(event.type).U32(event.value).U32(event.timeout);
  return record;
}

std::optional<rtp_event> DecodeEvent(const uint8_t* bytes, size_t size) {
  if (size != kEventSize) {
    return std::nullopt;
  }
  BeReader in(bytes, size);
  rtp_event event;
  event.type = in.U32();
  event.value = in.U32();
  event.timeout = in.U32();
  return event;
}

AttachRecord Encode(const rtp_attach_session_params& params) {
  AttachRecord record{};
  BeWriter(record.data(), record.size()).I32(params.fd_rtp).I32(params.pid_rtp);
  return record;
}

AttachRecord Encode(const rtp_ext_attach_session_params& params) {
  return Encode(rtp_attach_session_params{params.fd_rtp, params.pid_rtp});
}

ExtInitRecord Encode(const rtp_ext_init_params& params) {
  ExtInitRecord record{};
  BeWriter out(record.data(), record.size());
  out.U16(params.etype).Zero(2);
  for (uint32_t word : params.words) {
    out.U32(word);
  }
  return record;
}

EventRecord PacketDetectorEnable(uint32_t timeout) {
  EventRecord record{};
  BeWriter(record.data(), record.size()).U32(1).U32(0).U32(timeout).U32(0).U32(0).U32(timeout);
  return record;
}

std::array<uint8_t, 4> PacketDetectorDisable() {
  std::array<uint8_t, 4> record{};
  platform::StoreBe32(record.data(), 1);
  return record;
}

}  // namespace rtp_device
