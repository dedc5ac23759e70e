#include "platform/BoardControl.h"

#ifndef GATEWAY_BOARD
#include "platform/sim/ControlSocket.h"
#endif

namespace platform {

bool StartBoardControl() {
#ifdef GATEWAY_BOARD
  return true;
#else
  static sim::ControlSocket control;
  return control.Start();
#endif
}

}  // namespace platform
