#pragma once

#include <cstddef>
#include <cstdint>

// The ED-137 radio-to-system (R2S) header that travels in the RTP header
// extension: a two-byte PTT/squelch header, optionally followed by additional
// features. Plain functions on one fixed record: no allocation, no logging.
//
// Results shared with the other radio packet codec: 0 (unpack) or a byte count
// (pack) on success, kR2sMissing, kR2sUnknownType, kR2sTruncated.

constexpr int kR2sMissing = -7;
constexpr int kR2sUnknownType = -8;
constexpr int kR2sTruncated = -9;

constexpr uint32_t kR2sTx = 1;
constexpr uint32_t kR2sRx = 2;

// Feature types of the record.
constexpr uint32_t kR2sSqi = 1;
constexpr uint32_t kR2sClimaxTimeDelay = 2;
constexpr uint32_t kR2sRrc = 3;
constexpr uint32_t kR2sMamOrRrm = 4;  // MAM in RX packets, RRM in TX packets

constexpr size_t kR2sMaxFeatures = 16;
constexpr size_t kR2sFeatureWords = 13;

struct r2s_proto_feature {
  uint32_t type;
  uint32_t word[kR2sFeatureWords];  // value words 1..13 at indexes 0..12
};

struct r2s_proto {
  uint32_t source_address;  // network byte order, from the device's source record
  uint32_t source_ssrc;
  uint32_t type;  // kR2sTx, kR2sRx
  // RX: PTT type, SQU, PTT-id, PTT mute, PTT summation, SCT.
  // TX: PTT type, PTT-id, PTT mute, PTT summation, unused, unused.
  uint32_t header[6];
  uint32_t feature_count;
  r2s_proto_feature features[kR2sMaxFeatures];
};

struct r2s_proto_rx_additional_sqi {
  uint32_t word[2];
};
struct r2s_proto_rx_additional_rrc {
  uint32_t word[13];
};
struct r2s_proto_rx_additional_mam {
  uint32_t word[7];
};
struct r2s_proto_tx_additional_climax_time_delay {
  uint32_t word[1];
};
struct r2s_proto_tx_additional_rrc {
  uint32_t word[8];
};
struct r2s_proto_tx_additional_rrm {
  uint32_t word[2];
};

int r2s_proto_init(r2s_proto* proto, uint32_t type);
int r2s_proto_set_type(r2s_proto* proto, uint32_t type);
int r2s_proto_set_tx_header(r2s_proto* proto, uint32_t ptt, uint32_t ptt_id, uint32_t ptt_mute, uint32_t ptt_summation);
int r2s_proto_set_rx_header(r2s_proto* proto, uint32_t ptt, uint32_t squ, uint32_t ptt_id, uint32_t ptt_mute,
                            uint32_t ptt_summation, uint32_t sct);
int r2s_proto_reset_additionals(r2s_proto* proto);
// Adders append one feature; with 16 already present they change nothing.
int r2s_proto_add_rx_sqi(r2s_proto* proto, const r2s_proto_rx_additional_sqi* sqi);
int r2s_proto_add_rx_sqi(r2s_proto* proto, uint32_t word1, uint32_t word2);
int r2s_proto_add_rx_rrc(r2s_proto* proto, const r2s_proto_rx_additional_rrc* rrc);
int r2s_proto_add_rx_mam(r2s_proto* proto, const r2s_proto_rx_additional_mam* mam);
int r2s_proto_add_tx_time_delay(r2s_proto* proto, const r2s_proto_tx_additional_climax_time_delay* delay);
int r2s_proto_add_tx_rrc(r2s_proto* proto, const r2s_proto_tx_additional_rrc* rrc);
int r2s_proto_add_tx_rrm(r2s_proto* proto, const r2s_proto_tx_additional_rrm* rrm);

// Packet length written into buffer, or an error; never writes past size.
int r2s_proto_pack(const r2s_proto* proto, uint8_t* buffer, size_t size);
int r2s_proto_pack_rx(const r2s_proto* proto, uint8_t* buffer, size_t size);
int r2s_proto_pack_tx(const r2s_proto* proto, uint8_t* buffer, size_t size);
// 0 or an error; the source fields are left for the caller.
int r2s_proto_unpack_rx(r2s_proto* proto, const uint8_t* bytes, size_t size);
int r2s_proto_unpack_tx(r2s_proto* proto, const uint8_t* bytes, size_t size);

// 0 when type, source SSRC and source address match; else b minus a of the
// first that differs; -1 when either record is missing.
int cmp_r2s_proto_source(const r2s_proto* a, const r2s_proto* b);
