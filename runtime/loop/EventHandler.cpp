#include "runtime/loop/EventHandler.h"

#include "runtime/loop/Multiplexer.h"

void EventHandler::mux_attach() {
  if (attached_) {
    return;
  }
  multiplexer.attach(this);
  attached_ = true;
}

void EventHandler::mux_detach() {
  if (!attached_) {
    return;
  }
  multiplexer.detach(this);
  attached_ = false;
}
