#include "runtime/loop/Dpc.h"

#include "runtime/loop/Multiplexer.h"

Dpc::~Dpc() {
  Deactivate();
}

void Dpc::Activate() {
  if (!active_) {
    multiplexer.attach(this);
  }
  active_ = true;
}

void Dpc::Deactivate() {
  if (active_) {
    multiplexer.dettach(this);
  }
  active_ = false;
}
