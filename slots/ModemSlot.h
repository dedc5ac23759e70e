#pragma once

#include "runtime/loop/ChildWait.h"
#include "runtime/loop/Timer.h"
#include "slots/AuthClient.h"
#include "slots/ChildProgram.h"
#include "slots/Slot.h"

#include <optional>
#include <ostream>
#include <string>

class ModemFactory;

// A data modem on the TDM fabric that runs the PPP daemon (or a fax program)
// as a child on its line, and relays the dial-in authentication of its
// session between the local authentication program and the controller. It
// owns the child: a destroy hangs it up and completes when it exits, or kills
// it 5000 ms later.
class ModemSlot : public Slot {
 public:
  ModemSlot(ModemFactory& factory, const TERM::ModemParams& params);
  ~ModemSlot() override;

  bool IBeforeDestroy() override;
  // Sends the accept and IP parameters records of the session.
  bool IActivate(const TERM::TermActivateParams& params) override;
  void IOnForcedRelease() override { unbind(); }
  const char* GetName() const override { return "generic-modem"; }
  // The session number by which the authentication link addresses the slot.
  virtual int modem_id() const = 0;
  // Gives the slot back to the factory.
  virtual void unbind() = 0;

  bool EqAuthId(uint32_t session) const { return static_cast<uint32_t>(modem_id()) == session; }
  // A whole record of this slot's session (its header is there).
  void OnAuth(const AuthRecord& record);
  // The slot's tag, then ": ".
  void PutHeader(std::ostream& os) const;

 protected:
  ModemFactory& GetSlotFactory() const { return factory_; }
  const TERM::ModemParams& params() const { return params_; }
  bool HasChild() const { return pid_ != -1; }
  // False, with a line and an abort, when the controller named a program
  // (execfile) that is not one of the board's; checked before any set-up.
  bool ProgramAllowed();
  // The program to run: the controller's execfile when present, else the default.
  std::string Program(const char* default_board_path) const;
  // Starts the PPP daemon on the port unless a child runs; false when none could be started.
  bool pppd_exec(const char* tty, const char* options);
  // Starts a child program watched as the slot's child, its exit going to on_exit;
  // exec_status as for ChildProgram::Start.
  bool StartChild(const ChildProgram::Launch& launch, void (ModemSlot::*on_exit)(int), Fd* exec_status = nullptr);
  void pppd_kill();
  // A pending destroy is complete now that the child is gone.
  void CompleteDestroy();

  int pid_ = -1;
  ChildWait wait_;

 private:
  void on_terminate(int status);
  void on_terminate_timeout(Timer* timer);
  void OnAuthRequest(const AuthRecord& record);
  void OnAcctInformation(const AuthRecord& record);

  ModemFactory& factory_;
  TERM::ModemParams params_;
  Timer timer_;
};
