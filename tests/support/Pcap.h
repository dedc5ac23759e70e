#pragma once

#include "tests/support/HdlcEnd.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

// pcap link types of the captures. Each record starts with the link type's
// pseudo-header: for MTP2 (MTP2_WITH_PHDR) 4 octets: sent (1 octet), Annex A
// in use (1 octet), link number (16 bits, little-endian); for LINUX_LAPD 16 octets.
constexpr uint32_t kLinkTypeMtp2 = 139;
constexpr uint32_t kLinkTypeLinuxLapd = 177;

// Writes the frames as a classic pcap file, each behind the same pseudo-header
// and time-stamped from its loop-clock milliseconds. False when the file
// cannot be written.
[[nodiscard]] bool WritePcap(const std::string& path, uint32_t link_type, const HdlcEnd::Bytes& pseudo_header,
                             const std::vector<HdlcEnd::Frame>& frames);

// Runs tshark with the arguments (bounded in time) and gives its standard
// output; nothing when tshark is not installed or did not finish cleanly.
std::optional<std::string> RunTshark(const std::vector<std::string>& args);
bool HaveTshark();

}  // namespace test_support
