#pragma once

#include "platform/sim/Driver.h"
#include "platform/sim/LineImpairments.h"

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

// The simulated "/dev/dsp-data": the DSP's HDLC data channels for ATS-QSIG.
// Every open asks for one D channel, whose id is also its switch channel,
// and may add up to three B channels on it (their ids are switch channels
// too). Each read and write is one frame. A test injects received frames,
// takes the frames written, and can join two D channels by a cable with
// impairments per direction, so two links can talk to each other.
class DspDataDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/dsp-data";
  static constexpr int kChannels = 8;
  static constexpr int kFirstChannel = 576;
  static constexpr int kFirstBChannel = 600;  // 4 per D channel
  static constexpr int kBChannels = 3;

  DspDataDriver();

  // The channel receives one frame; false when no open holds that channel.
  bool Receive(int channel, const std::vector<uint8_t>& frame);
  // The frames written on the channel since the last call, oldest first.
  std::vector<std::vector<uint8_t>> TakeTransmitted(int channel);
  // The B channels held now, by id.
  std::vector<int> BChannels() const;
  // Joins two D channels: what one writes the other receives.
  bool JoinChannels(int a, int b);
  // What the cable does to frames leaving this channel.
  bool SetImpairments(int channel, const LineImpairments& impairments);

 private:
  struct PerOpen;
  struct Cable {
    int ends[2];
    ImpairedLine leaving[2];
  };

  void AddCommands();
  long OnOpen(OpenFile& file) override;
  void OnRelease(OpenFile& file) override;
  long OnWrite(OpenFile& file, const std::vector<uint8_t>& record) override;
  long ChannelId(OpenFile& file);
  long AddB(OpenFile& file, Record& record);
  long ReleaseB(OpenFile& file, Record& record);
  OpenFile* Find(int channel) const;
  Cable* CableAt(int channel);

  std::array<OpenFile*, kChannels> channels_{};
  std::vector<Cable> cables_;
};

}  // namespace sim
