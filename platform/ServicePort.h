#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The fixed loopback port of one of the board's own services. On the board it
// is board_port. On the host build the environment variable named by variable
// may give another (a whole decimal number 0..65535, 0 for any free port), so
// that tests and workstation runs side by side never contend for one port;
// none when the variable holds anything else, which must not quietly become
// the board's port.
std::optional<uint16_t> ServicePort(const char* variable, uint16_t board_port);

// The line that refuses the variable's value: "invalid <variable> '<value>'"
// and what it may hold.
std::string ServicePortRefusal(const char* variable);

// For the line that reports the port taken by another program: on the host
// build, how the variable moves it (" (<variable> gives another port, 0 any
// free one)"); empty on the board, where the port is fixed.
std::string ServicePortHint(const char* variable);

}  // namespace platform
