#include "slots/T38SoftSlot.h"

#include "runtime/log/Ext.h"
#include "slots/T38SoftFactory.h"

#include <signal.h>

#include <iostream>

T38SoftSlot::T38SoftSlot(T38SoftFactory& factory, int pid, int channel)
    : factory_(factory), pid_(pid), channel_(channel) {
  wait_.Bind(this, &T38SoftSlot::OnT38Terminate);
  wait_.Attach(pid);
}

void T38SoftSlot::PutHeader(std::ostream& os) const {
  Put(os);
  os << ": ";
}

void T38SoftSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool T38SoftSlot::IBeforeDestroy() {
  if (pid_ >= 1) {
    kill(pid_, SIGTERM);
    factory_.Abandon(pid_);
  }
  return true;
}

void T38SoftSlot::OnT38Terminate(int status) {
  const int signal_number = status & 0x7f;
  if (signal_number != 0 && (status & 0xff) != 0x7f) {
    std::clog << ext::header(this) << "t38 daemon terminated by signal=" << signal_number << std::endl;
  }
  if (signal_number == 0) {
    std::clog << ext::header(this) << "t38 daemon terminated with code=" << ((status >> 8) & 0xff) << std::endl;
  }
  pid_ = -1;
  OnAbort(status);
}
