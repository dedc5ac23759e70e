#pragma once

#include "runtime/loop/ChildWait.h"
#include "runtime/loop/Timer.h"
#include "slots/SlotFactory.h"

#include <list>
#include <ostream>

// Builds the software T.38 slots: each runs the T.38 program as a child on a
// transparent MCC channel, which the child gets as its standard input. It also
// sees to it that a child whose slot is gone ends: one that ignores SIGTERM is
// killed after a while, so it cannot keep its channel for ever.
class T38SoftFactory : public SlotFactory {
 public:
  static T38SoftFactory& instance();

  const char* GetName() const override { return "T.38 soft"; }
  std::unique_ptr<Slot> INewSlot(const LGCP::CreateParams& params) override;
  // Sets t38-instances.
  void Query(LGCP::Resources& resources) override;
  // "t38soft: "
  void PutHeader(std::ostream& os) const;

  // How many instances the program says it can run; 0 when it says nothing,
  // cannot be run, or does not answer in time.
  static int QueryNumOfInstances();

  // The slot of a running child is gone and the child was sent SIGTERM.
  void Abandon(int pid);

 private:
  // A child sent SIGTERM, watched until it ends.
  class Orphan {
   public:
    Orphan(T38SoftFactory& owner, int pid);
    Orphan(const Orphan&) = delete;
    Orphan& operator=(const Orphan&) = delete;

    int pid() const { return wait_.pid(); }

   private:
    void OnEnd(int status);
    void OnKill();

    T38SoftFactory& owner_;
    ChildWait wait_;
    Timer kill_;
  };

  T38SoftFactory() = default;
  // Forgets the orphan (it may be the caller).
  void Forget(const Orphan& orphan);

  std::list<Orphan> orphans_;
};
