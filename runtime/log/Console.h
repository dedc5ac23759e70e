#pragma once

#include <ostream>

// Writes the local time as "%d/%m %H:%M:%S"; nothing when it cannot be read.
void timestamp(std::ostream& os);

// Terminal modes of the standard input for an interactive session.
namespace Console {

// Unbuffered, echo-free input; applied once pending output has drained.
void SwitchToBinaryMode();
void SwitchToNonBlockMode();

}  // namespace Console
