#pragma once

#include "schemas/LGCP.h"
#include "server/CtrlSrv.h"

#include <array>
#include <memory>
#include <vector>

class Slot;

// The slot table: owns every slot by its number (0 to 1023) and carries out the
// controller's slot commands. It creates slots through the factory chain,
// destroys them at once or after their wind-down, and keeps the connection
// rules: the end of a connection with the higher priority does the hardware
// work, a slot's output stream is opened for its first listener and released
// after its last, its input stream likewise for its source. When the
// controller goes away every slot goes with it.
class Slots : public CtrlSrv::Service {
 public:
  static constexpr unsigned kSlotCount = 1024;
  // The pause on controller loss before slots still winding down are deleted.
  static constexpr uint32_t kTeardownPauseUs = 1000000;

  static Slots& instance();

  Slots();
  ~Slots() override;

  void OnConnect() override {}
  // Destroys every slot.
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& command) override;
  // Trunk status goes to every factory.
  void OnSignal(const LGCP::Signal& signal) override;

  // True when the slot is gone, false when it winds down and goes later.
  [[nodiscard]] bool Destroy(Slot* slot);
  // Completes a destroy: answers a delayed destroy command, then deletes the slot.
  void on_release(Slot* slot);
  // Deletes the slot and frees its number; every link to it and its factory's
  // entry go first.
  void int_destroy(Slot* slot);
  [[nodiscard]] bool Connect(Slot* source, Slot* listener);
  // Cuts the listener from its source; the logical link goes even when the hardware cut fails.
  bool Disconnect(Slot* listener);
  // Sends the query signal with the resources of every factory.
  void UpdateHardwareResources();
  static bool CheckSlot(unsigned number) { return number < kSlotCount; }

  // The slot stored under the number; null for a free or invalid number.
  Slot* Find(unsigned number) const;
  // Every stored slot, oldest first.
  const std::vector<Slot*>& all() const { return all_; }

 private:
  void CmdConnect(unsigned target);
  void CmdDisconnect();
  void CmdCreate(const LGCP::CreateParams& params);
  void CmdDestroy();
  void CmdActivate(const TERM::TermActivateParams& params);
  void CmdDeactivate();
  void CmdUserData(const std::vector<char>& bytes);
  void CmdIoctl(const LGCP::IoctlParams& params);
  void CmdQuery();
  // The slot the current command names; answers slotNotExists when there is none.
  Slot* CommandSlot();
  void AnswerHook(bool taken);

  bool llConnect(Slot* source, Slot* listener);
  bool llDisconnect(Slot* listener);
  // A connect failed after the listener's old hardware path was cut: put the
  // old path back, or when that fails too, finish the disconnect so the table
  // never claims a path the switch does not carry.
  void RestoreOldSource(Slot* old_source, Slot* listener);
  // The listener has left its source: release the streams nobody uses now.
  void ReleaseAfterCut(Slot* old_source, Slot* listener);

  std::array<std::unique_ptr<Slot>, kSlotCount> table_;
  std::vector<Slot*> all_;
};
