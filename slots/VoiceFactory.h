#pragma once

#include "hardware/mcc_alloc_params.h"
#include "slots/SlotFactory.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

class PlaySlotGeneric;
class RecordSlot;

// Builds the voice players and recorders, each on a transparent MCC channel
// of its own: a player writes sound into the channel, a recorder reads it.
class VoiceFactory : public SlotFactory {
 public:
  static VoiceFactory& instance();

  const char* GetName() const override { return "Voice/mcc"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  // Voice slots report no resources.
  void Query(LGCP::Resources&) override {}
  // "voice/mcc[0]: "
  void PutHeader(std::ostream& os) const;

  std::unique_ptr<Slot> CreatePlay(const LGCP::PlayerParams& params);
  std::unique_ptr<Slot> CreateRecord(const std::string& host);
  // The slot leaves the factory's list.
  void OnDestroy(RecordSlot* slot);
  void OnDestroy(PlaySlotGeneric* slot);

  // The live slots, in creation order.
  const std::vector<RecordSlot*>& recorders() const { return recorders_; }
  const std::vector<PlaySlotGeneric*>& players() const { return players_; }

 private:
  VoiceFactory() = default;

  // Opens the device with the open flags (player: write-only; recorder: read-only) and allocates a
  // transparent channel; nothing, with an error line, when the device refuses.
  std::optional<Mcc::Channel> OpenChannel(int flags, const mcc_alloc_params& params, const char* open_failure) const;

  std::vector<RecordSlot*> recorders_;
  std::vector<PlaySlotGeneric*> players_;
};

// "a.b.c.d:port", the form the asynchronous connect takes.
std::string dhost2str(const TERM::HostAddress& host);
