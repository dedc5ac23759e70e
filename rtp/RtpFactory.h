#pragma once

#include "platform/RtpRecords.h"
#include "slots/SlotFactory.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

class Fd;
class RtpSlot;

// Builds the RTP voice slots: opens the RTCP socket and the driver session of
// a create command for a plain RTP channel (radio channels belong to the
// radio factories), and reports the codec channel counts of the voice device.
// The radio factories build on it: they share its session steps, counts and
// query, and log under a header of their own name.
class RtpFactory : public SlotFactory {
 public:
  static RtpFactory& instance();

  const char* GetName() const override { return "RTP"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  void Query(LGCP::Resources& resources) override;
  // Refreshes the counts from the voice device; 0 where it does not answer.
  void IQuery();
  // "rtp[<g723>,<g729>,<g711>,<universal>]: ", the radio factories' name in place of "rtp".
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

 protected:
  // Joins the factory chain and takes the counts.
  explicit RtpFactory(const char* header_name);

  // Builds the slot of a session: the channel, the session and its record.
  using SlotBuilder =
      std::function<std::unique_ptr<RtpSlot>(int channel, const Fd& session, const rtp_connection_params& params)>;
  // The steps every RTP kind shares once the create is recognised: payload
  // check, RTCP socket, session (bss_enable goes in the add-channel record),
  // the slot that build makes, RTCP start and echo. Null, with a line, on
  // failure.
  std::unique_ptr<RtpSlot> NewSession(const LGCP::CreateRtpParams& request, int32_t bss_enable,
                                      const SlotBuilder& build);

 private:
  const char* header_name_;
  uint32_t g729_ = 0;
  uint32_t g723_ = 0;
  uint32_t g711_ = 0;
  uint32_t g711mcc_ = 0;
  uint32_t universal_ = 0;
};
