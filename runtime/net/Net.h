#pragma once

#include "runtime/net/INet4.h"

#include <list>
#include <string>

// Interface address lists and the host name.
namespace Net {

// Selection bits; 0 selects every IPv4 interface, otherwise an interface is
// taken when any of the set bits matches it.
using ifconfig_mode_t = unsigned;
constexpr ifconfig_mode_t kNotLoopback = 1;  // name other than "lo"
constexpr ifconfig_mode_t kLinkLocal = 2;    // 169.254.0.0/16
constexpr ifconfig_mode_t kPrivate = 4;      // 10/8, 172.16/12, 192.168/16

// Appends the address of every selected interface; the count appended, or -1
// when the socket or the interface query fails.
int ifconfig(std::list<INet4::Addr>& addresses, ifconfig_mode_t mode);
// Appends the names of the selected interfaces whose flags hold every bit of
// flags; the count appended, or -1.
int ifconfig(std::list<std::string>& names, ifconfig_mode_t mode, int flags);

// The host name, or an empty text on failure.
std::string hostname();
[[nodiscard]] bool hostname(const std::string& name);

}  // namespace Net
