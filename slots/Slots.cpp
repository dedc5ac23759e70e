#include "slots/Slots.h"

#include "platform/Clock.h"
#include "slots/Slot.h"
#include "slots/SlotFactory.h"

#include <algorithm>
#include <cassert>
#include <iostream>

Slots& Slots::instance() {
  static Slots slots;
  return slots;
}

Slots::Slots() = default;

Slots::~Slots() = default;

Slot* Slots::Find(unsigned number) const {
  return CheckSlot(number) ? table_[number].get() : nullptr;
}

bool Slots::OnCommand(const LGCP::Command& command) {
  if (!IsSlotPresent()) {
    if (!command.is_query()) {
      return false;
    }
    CmdQuery();
    return true;
  }
  switch (command.alternative()) {
    case LGCP::Command::Alternative::connect:
      CmdConnect(command.get_connect().getValue());
      return true;
    case LGCP::Command::Alternative::disconnect:
      CmdDisconnect();
      return true;
    case LGCP::Command::Alternative::create:
      CmdCreate(command.get_create());
      return true;
    case LGCP::Command::Alternative::destroy:
      CmdDestroy();
      return true;
    case LGCP::Command::Alternative::activate:
      CmdActivate(command.get_activate());
      return true;
    case LGCP::Command::Alternative::deactivate:
      CmdDeactivate();
      return true;
    case LGCP::Command::Alternative::userData:
      CmdUserData(command.get_userData());
      return true;
    case LGCP::Command::Alternative::ioctl:
      CmdIoctl(command.get_ioctl());
      return true;
    default:
      return false;
  }
}

void Slots::OnSignal(const LGCP::Signal& signal) {
  if (!signal.is_trunkStatus()) {
    return;
  }
  for (SlotFactory* factory = firstFactory; factory != nullptr; factory = factory->next()) {
    factory->SelfSignal(signal);
  }
}

void Slots::OnDisconnect() {
  std::vector<Slot*> kept;
  while (!all_.empty()) {
    Slot* slot = all_.front();
    if (slot->IsDestroying() || !Destroy(slot)) {
      all_.erase(std::find(all_.begin(), all_.end(), slot));
      kept.push_back(slot);
    }
  }
  // Gives the slots that wind down a last chance at the hardware; the whole
  // process waits, on every loss.
  platform::SleepMicroseconds(kTeardownPauseUs);
  for (Slot* slot : kept) {
    // Never released: let it give back what it holds before it goes.
    slot->IOnForcedRelease();
    int_destroy(slot);
  }
}

Slot* Slots::CommandSlot() {
  Slot* slot = Find(GetSlot());
  if (slot == nullptr) {
    Error(LGCP::ErrorCause::slotNotExists);
  }
  return slot;
}

void Slots::AnswerHook(bool taken) {
  if (taken) {
    Success();
  } else {
    Error(LGCP::ErrorCause::unsupported);
  }
}

void Slots::CmdConnect(unsigned target) {
  if (!CheckSlot(target)) {
    Error(LGCP::ErrorCause::invalidSlot);
    return;
  }
  Slot* source = Find(GetSlot());
  Slot* listener = Find(target);
  if (source == nullptr || listener == nullptr) {
    Error(LGCP::ErrorCause::slotNotExists);
    return;
  }
  // A slot on its way out takes no new links: it would be deleted under them.
  if (source->IsDestroying() || listener->IsDestroying()) {
    Error(LGCP::ErrorCause::destroyInProgress);
    return;
  }
  if (Connect(source, listener)) {
    Success();
  } else {
    Error(LGCP::ErrorCause::connectFail);
  }
}

void Slots::CmdDisconnect() {
  Slot* slot = CommandSlot();
  if (slot == nullptr) {
    return;
  }
  if (Disconnect(slot)) {
    Success();
  } else {
    Error(LGCP::ErrorCause::disconnectFail);
  }
}

void Slots::CmdCreate(const LGCP::CreateParams& params) {
  const unsigned number = GetSlot();
  if (Slot* old = Find(number)) {
    if (old->IsDestroying()) {
      Error(LGCP::ErrorCause::destroyInProgress);
      return;
    }
    (void)Destroy(old);
    if (Find(number) != nullptr) {
      Error(LGCP::ErrorCause::slotIdBusy);
      return;
    }
  }
  std::unique_ptr<Slot> slot;
  for (SlotFactory* factory = firstFactory; factory != nullptr && slot == nullptr; factory = factory->next()) {
    slot = factory->NewSlot(params);
  }
  if (slot == nullptr) {
    Error(LGCP::ErrorCause::insufficientResources);
    return;
  }
  Slot* created = slot.get();
  created->id_ = number;
  all_.push_back(created);
  table_[number] = std::move(slot);
  Success();
  // After the success, so that the signals the hook sends follow it.
  created->IAfterCreate();
}

void Slots::CmdDestroy() {
  Slot* slot = CommandSlot();
  if (slot == nullptr) {
    return;
  }
  if (slot->IsDestroying()) {
    Error(LGCP::ErrorCause::destroyInProgress);
    return;
  }
  if (Destroy(slot)) {
    Success();
    return;
  }
  slot->pending_cmd_ = delayResponse();
}

void Slots::CmdActivate(const TERM::TermActivateParams& params) {
  if (Slot* slot = CommandSlot()) {
    AnswerHook(slot->IActivate(params));
  }
}

void Slots::CmdDeactivate() {
  if (Slot* slot = CommandSlot()) {
    AnswerHook(slot->IDeactivate());
  }
}

void Slots::CmdUserData(const std::vector<char>& bytes) {
  if (Slot* slot = CommandSlot()) {
    AnswerHook(slot->IUserData(bytes));
  }
}

void Slots::CmdIoctl(const LGCP::IoctlParams& params) {
  if (Slot* slot = CommandSlot()) {
    AnswerHook(slot->Ioctl(params));
  }
}

void Slots::CmdQuery() {
  Success();
  UpdateHardwareResources();
}

bool Slots::Destroy(Slot* slot) {
  (void)Disconnect(slot);
  slot->DisconnectListeners("mux internal error: expected slots not exists.");
  if (!slot->listeners_.empty()) {
    std::cerr << "mux internal error: unexpected slots exists." << std::endl;
  }
  slot->destroying_ = true;
  const uint32_t number = slot->id_;
  if (!slot->BeforeDestroy()) {
    // A wind-down may complete from inside the hook, and the slot is gone then.
    return Find(number) == nullptr;
  }
  on_release(slot);
  return true;
}

void Slots::on_release(Slot* slot) {
  if (slot->pending_cmd_) {
    delayedSuccess(slot->id_, *slot->pending_cmd_);
  }
  int_destroy(slot);
}

void Slots::int_destroy(Slot* slot) {
  assert(CheckSlot(slot->id_) && table_[slot->id_].get() == slot && "only stored slots are deleted");
  // Neither another slot nor its factory may keep a pointer to the deleted
  // one, also when it goes without having completed its release.
  slot->LogicalDisconnect();
  while (!slot->listeners_.empty()) {
    slot->listeners_.front()->LogicalDisconnect();
  }
  if (slot->factory_ != nullptr) {
    slot->factory_->Remove(slot);
  }
  all_.erase(std::remove(all_.begin(), all_.end(), slot), all_.end());
  table_[slot->id_].reset();
}

bool Slots::Connect(Slot* source, Slot* listener) {
  if (listener->source_ == source) {
    return true;
  }
  if (source->listeners_.empty()) {
    if (!source->IOnOutputStream()) {
      std::cerr << "slot " << *source << " don't have output stream to " << *listener << std::endl;
      return false;
    }
    source->OnChangeOutputStream(true);
  }
  Slot* old_source = listener->source_;
  if (old_source == nullptr) {
    if (!listener->IOnInputStream()) {
      std::cerr << "slot " << *listener << " don't have input stream from " << *source << std::endl;
      return false;
    }
    listener->OnChangeInputStream(true);
  } else {
    (void)llDisconnect(listener);
  }
  if (llConnect(source, listener)) {
    if (old_source != nullptr) {
      listener->LogicalDisconnect();
      if (old_source->listeners_.empty()) {
        old_source->IOnOutputRelease();
      }
    }
    listener->LogicalConnect(source);
    return true;
  }
  if (old_source == nullptr) {
    listener->IOnInputRelease();
  } else {
    RestoreOldSource(old_source, listener);
  }
  if (source->listeners_.empty()) {
    source->IOnOutputRelease();
  }
  return false;
}

void Slots::RestoreOldSource(Slot* old_source, Slot* listener) {
  if (llConnect(old_source, listener)) {
    return;
  }
  std::cerr << "slot " << *listener << " lost its source " << *old_source << ": the old path is gone" << std::endl;
  ReleaseAfterCut(old_source, listener);
}

bool Slots::Disconnect(Slot* listener) {
  Slot* old_source = listener->source_;
  if (old_source == nullptr) {
    return true;
  }
  const bool result = llDisconnect(listener);
  ReleaseAfterCut(old_source, listener);
  return result;
}

void Slots::ReleaseAfterCut(Slot* old_source, Slot* listener) {
  listener->LogicalDisconnect();
  listener->IOnInputRelease();
  if (old_source->listeners_.empty()) {
    old_source->IOnOutputRelease();
  }
}

bool Slots::llConnect(Slot* source, Slot* listener) {
  if (source->GetConnectionPriority() > listener->GetConnectionPriority()) {
    return source->IHwConnectTransmitter(listener);
  }
  return listener->IHwConnectReceiver(source);
}

bool Slots::llDisconnect(Slot* listener) {
  Slot* source = listener->source_;
  if (source == nullptr) {
    return false;
  }
  if (listener->GetConnectionPriority() > source->GetConnectionPriority()) {
    return listener->IHwDisconnectReceiver(source);
  }
  return source->IHwDisconnectTransmitter(listener);
}

void Slots::UpdateHardwareResources() {
  LGCP::Signal signal;
  LGCP::Resources& resources = signal.select_query();
  // Every count starts at 0 and drvVersion stays absent; the factories add theirs.
  resources.set_mux(true);
  for (SlotFactory* factory = firstFactory; factory != nullptr; factory = factory->next()) {
    factory->Query(resources);
  }
  SendSignal(signal);
}
