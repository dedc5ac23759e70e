#pragma once

#include "platform/RtpRecords.h"
#include "slots/SlotFactory.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>

// Builds the RTP voice slots: opens the RTCP socket and the driver session of
// a create command for a plain RTP channel (radio channels belong to the
// radio factories), and reports the codec channel counts of the voice device.
class RtpFactory : public SlotFactory {
 public:
  static RtpFactory& instance();

  const char* GetName() const override { return "RTP"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources& resources) override;
  // Refreshes the counts from the voice device; 0 where it does not answer.
  void IQuery();
  // "rtp[<g723>,<g729>,<g711>,<universal>]: "
  void PutHeader(std::ostream& os) const;

  // The RTP payload type of a codec.
  static uint32_t translateCodec(const TERM::Payload& payload);
  // The payload type of one direction, which may fall back to G.711.
  static uint32_t translateCodec(const TERM::Payload& payload, const TERM::Payload& direction);
  // The begin-session record of a create; nothing, with a line on the error
  // stream, when an address does not parse.
  std::optional<rtp_connection_params> MakeParams(const LGCP::CreateRtpParams& create) const;
  // A fresh SSRC from a source of the factories' own, seeded once per run.
  static uint32_t NewSsrc();

 private:
  RtpFactory();

  uint32_t g729_ = 0;
  uint32_t g723_ = 0;
  uint32_t g711_ = 0;
  uint32_t g711mcc_ = 0;
  uint32_t universal_ = 0;
};
