#pragma once

#include "schemas/LGCP.h"

#include <memory>
#include <vector>

class Slot;

// Builds slots of its kinds from create commands. Every factory lives for the
// whole run and links itself at the head of the process-wide chain when it is
// built, so the newest factory is asked first. It lists the slots it built
// until they leave (the table owns them).
class SlotFactory {
 public:
  SlotFactory();
  SlotFactory(const SlotFactory&) = delete;
  SlotFactory& operator=(const SlotFactory&) = delete;
  virtual ~SlotFactory();

  virtual const char* GetName() const = 0;
  // A new slot, or null when the parameters are not this factory's kind or the slot cannot be built.
  virtual std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) = 0;
  // Adds this factory's resources to the report.
  virtual void Query(LGCP::Resources& resources) = 0;
  // A signal on its way to the controller (trunk status among them).
  virtual void SelfSignal(const LGCP::Signal& signal);

  // INewSlot, and the new slot joins this factory's list.
  std::unique_ptr<Slot> NewSlot(const LGCP::CreateParams& params);
  void Remove(Slot* slot);

  SlotFactory* next() const { return next_; }
  const std::vector<Slot*>& slots() const { return slots_; }

 private:
  std::vector<Slot*> slots_;
  SlotFactory* next_;
};

// The head of the chain: the newest factory.
extern SlotFactory* firstFactory;
