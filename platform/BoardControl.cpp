#include "platform/BoardControl.h"

#ifndef GATEWAY_BOARD
#include "platform/BoardPath.h"
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

std::string BoardControlPath() {
#ifdef GATEWAY_BOARD
  return std::string();
#else
  return BoardPath(sim::ControlSocket::kPath);
#endif
}

}  // namespace platform
