#pragma once

#include "platform/sim/Driver.h"
#include "platform/sim/LineImpairments.h"
#include "platform/sim/PcapTap.h"
#include "platform/sim/TdmSwitch.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The simulated "/dev/mcc/ctl": the HDLC and transparent data channels of the
// MCC controller. Every open is one channel: an allocation request gives it a
// type and its sizes, and it answers the switch channel that joins it to the
// TDM switch. A test reaches a channel by that switch channel number: it
// injects received frames and receive failures, takes the frames the server
// wrote, and can make the channel refuse frames for a while. The channel is
// freed when the server closes its last descriptor.
//
// Frames also travel through the switch: a test can join two line endpoints
// (the switch channels of trunk timeslots) with a cable. A frame a channel
// writes reaches every line endpoint whose switch output carries that
// channel; from a cabled one it crosses the cable, through the impairments of
// that direction, and is received by every channel whose switch output
// carries the far end. So two links on two channels can talk to each other.
// A BRI bus is a star of such cables around the network side's endpoint.
// A test can also play the far side of a line endpoint itself, injecting
// frames that arrive on it and taking the frames sent on it, and can capture
// what passes a line endpoint or a channel into a pcap file.
class MccDriver : public Driver {
 public:
  static constexpr const char* kPath = "/dev/mcc/ctl";
  static constexpr int kChannels = 32;
  // Switch channel of channel 0; the others follow. Below the bus outputs and
  // above the trunk timeslots.
  static constexpr int kFirstSwitchChannel = 512;

  // The allocation types of the record.
  enum Type : uint32_t { kData = 0, kBri = 1, kTransparent = 2, kSs7 = 3 };

  // What a test sees of an allocated channel.
  struct Channel {
    int switch_channel;
    uint32_t type;
    uint32_t rx_packet_size;
    uint32_t rx_threshold;
    uint32_t tx_threshold;
    int open_flags;
    bool blocked;
  };

  MccDriver();

  // Allocated channels, by switch channel.
  std::vector<Channel> Channels() const;
  std::optional<Channel> ChannelOf(int switch_channel) const;

  // The channel receives one frame; a transparent channel receives a burst of
  // bytes that the server reads in chunks of at most the receive packet size.
  // False when the channel is not allocated, not open for reading, or the
  // frame is empty or longer than the receive packet size (a framed channel).
  bool Receive(int switch_channel, const std::vector<uint8_t>& bytes);
  // The channel's receiver fails: the server's read in that place fails with error.
  bool ReceiveError(int switch_channel, int error);
  // The frames the server wrote on the channel since the last call, oldest first.
  std::vector<std::vector<uint8_t>> TakeTransmitted(int switch_channel);
  // A blocked channel refuses every frame with EAGAIN; unblocking lets the
  // server's descriptor poll writable again. False when not allocated.
  bool SetBlocked(int switch_channel, bool blocked);

  // Joins two line endpoints with a cable. False when an end is an MCC
  // channel or already cabled, or both ends are one.
  bool JoinLines(int a, int b);
  // Attaches a terminal's line endpoint to the BRI bus of the network side's
  // endpoint: what the network side sends reaches every terminal of its bus,
  // what a terminal sends reaches the network side. False as for JoinLines,
  // except that the network end may carry any number of terminals.
  bool AttachToBus(int network, int terminal);
  // What the cable does to frames leaving this end (every cable of a bus's
  // network end); false when it has none.
  bool SetImpairments(int end, const LineImpairments& impairments);

  // A frame arrives on a line endpoint: every channel whose switch output
  // carries that endpoint receives it. False when the endpoint is a channel
  // or the frame is empty.
  bool ReceiveOnLine(int line, const std::vector<uint8_t>& frame);
  // The frames channels sent on the line endpoint since the last call, oldest first.
  std::vector<std::vector<uint8_t>> TakeSentOnLine(int line);
  // Captures every frame sent or received at a line endpoint or channel into
  // the file, until StopTap. False when the file cannot be written.
  bool StartTap(int end, const std::string& path, PcapTap::Kind kind);
  bool StopTap(int end);

 private:
  struct Cable {
    int ends[2];              // a bus's network end first
    ImpairedLine leaving[2];  // frames leaving ends[0], ends[1]
    bool bus;
  };

  struct PerOpen;

  long Allocate(OpenFile& file, Record& record);
  long SwitchChannel(OpenFile& file) const;
  long Query(Record& record) const;
  long OnOpen(OpenFile& file) override;
  void OnRelease(OpenFile& file) override;
  long OnWrite(OpenFile& file, const std::vector<uint8_t>& record) override;
  void AddCommands();
  OpenFile* FindChannel(int switch_channel) const;
  static Channel Describe(OpenFile& file);
  static bool IsChannel(int end);
  // Carries a frame the channel wrote along the switch and the cables.
  void Route(int switch_channel, const std::vector<uint8_t>& frame);
  // A frame reaches a line endpoint: the channels that listen to it receive it.
  void Arrive(const TdmSwitch& tdm, int line, const std::vector<uint8_t>& frame);
  void Tap(int end, bool sent, const std::vector<uint8_t>& frame);
  Cable* CableAt(int end);
  bool Join(int a, int b, bool bus);
  // Why a cable or bus command could not join the two lines.
  Reply JoinRefusal(int a, int b);

  std::array<OpenFile*, kChannels> channels_{};
  std::vector<Cable> cables_;
  std::map<int, History<std::vector<uint8_t>>> sent_on_line_;
  std::map<int, PcapTap> taps_;
};

}  // namespace sim
