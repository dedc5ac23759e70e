#pragma once

#include <string>

namespace platform {

// Opens the way for an end-to-end test to reach the board under the running
// server. On the host build it starts the simulated board's control socket
// (platform/sim/ControlSocket.h) under the board root; call it from the loop's
// thread, whose poll() a clock advance interrupts. On the board there is nothing
// to start. False, with errno set, when the socket cannot be made.
[[nodiscard]] bool StartBoardControl();
// What StartBoardControl opens, for its failure line: the control socket's
// path on the host build; empty on the board.
std::string BoardControlPath();

}  // namespace platform
