#pragma once

#include "runtime/async/AsyncConnect.h"
#include "runtime/async/AsyncCopy.h"
#include "runtime/loop/Dpc.h"
#include "runtime/net/Fd.h"
#include "slots/Slot.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// A slot that moves sound between the TDM switch and a transparent MCC
// channel: a player or a recorder.
class VoiceSlot : public Slot {};

// A player: sound written into its MCC channel goes out on the switch
// channel it transmits. It owns the channel's descriptor.
class PlaySlotGeneric : public VoiceSlot {
 public:
  void PutHeader(std::ostream& os) const;

 protected:
  explicit PlaySlotGeneric(Fd channel_fd);

  // Leaves the factory's player list; a player goes at once.
  bool IBeforeDestroy() override;
  int IGetTransmitChannel() const override { return channel_; }
  const char* GetName() const override { return "player"; }

  int channel_;
  Fd channel_fd_;
};

// Plays what a remote host serves over TCP: after connecting it sends its id
// as 4 bytes, big-endian, and copies everything the host sends into the
// channel. Once released it never connects again.
class PlaySlotNetwork : public PlaySlotGeneric {
 public:
  PlaySlotNetwork(Fd channel_fd, std::string host, int id);

  void PutAddr(std::ostream& os) const { os << host_; }

 private:
  enum State { kIdle = 0, kConnecting = 1, kPlaying = 2, kReleased = 3 };

  bool IOnOutputStream() override;
  void OnConnect(ASync::Connect::Status::Type status, Fd socket);
  void OnPlayComplete(ASync::Copy::Status::Type status);
  void Release();

  std::string host_;
  int id_;
  State state_ = kIdle;
  std::unique_ptr<ASync::Copy> copy_;
  std::unique_ptr<ASync::Connect> connect_;
};

// Plays a list of phrase files from the voice folder, the whole list `repeat`
// times (0: until the slot is destroyed). Names that do not open are skipped.
class PlaySlotFile : public PlaySlotGeneric {
 public:
  PlaySlotFile(Fd channel_fd, std::vector<std::string> names, uint32_t repeat);

 private:
  bool IOnOutputStream() override;
  void OnPlayComplete(ASync::Copy::Status::Type status);
  void Release();
  // Plays the list from its first name; false when no name plays.
  bool restart();
  // Plays the next name that opens; false at the end of the list.
  bool next_phrase();
  // The abort of a player that had nothing to play, sent from the loop.
  void delayed_abort();

  std::unique_ptr<ASync::Copy> copy_;
  Fd file_;
  uint32_t repeat_;
  bool started_ = false;
  Dpc abort_;
  std::vector<std::string> names_;
  size_t next_ = 0;
};

// Records what its switch channel receives: each time it gets a source it
// connects to the host and copies the channel's sound to it until the host
// or the channel ends. It keeps its slot when a recording stops.
class RecordSlot : public VoiceSlot {
 public:
  RecordSlot(std::string host, int channel, Fd channel_fd);

  void PutHeader(std::ostream& os) const;
  void PutAddr(std::ostream& os) const { os << host_; }

 private:
  void IAfterCreate() override;
  // Leaves the factory's recorder list; a recorder goes at once.
  bool IBeforeDestroy() override;
  bool IOnInputStream() override;
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "recorder"; }

  void OnConnect(ASync::Connect::Status::Type status, Fd socket);
  void OnRecordComplete(ASync::Copy::Status::Type status);
  void StopRecording(LGCP::StopRecordingCause::NamedNumber cause);

  int channel_;
  Fd channel_fd_;
  std::string host_;
  std::unique_ptr<ASync::Copy> copy_;
  std::unique_ptr<ASync::Connect> connect_;
};
