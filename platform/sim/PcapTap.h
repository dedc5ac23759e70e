#pragma once

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A capture of the frames passing one point of the simulated board, written as
// a classic pcap file frame by frame, so tshark can read what a running server
// put on its links. Each record carries its link type's pseudo-header: MTP2
// (with pseudo-header, 139) or LINUX_LAPD (177), whose address octet names the
// side the captured point plays.
class PcapTap {
 public:
  enum class Kind { kMtp2, kLapdUser, kLapdNetwork };

  // "mtp2", "lapd-user" or "lapd-network".
  static std::optional<Kind> ParseKind(const std::string& text);

  // Creates or truncates the file; false when it cannot be written.
  [[nodiscard]] bool Open(const std::string& path, Kind kind);
  // One frame, sent from the captured point or received by it, stamped with the loop clock.
  void Write(bool sent, const std::vector<uint8_t>& frame);

 private:
  void Put(uint32_t value, int size);

  std::ofstream out_;
  Kind kind_ = Kind::kMtp2;
};

}  // namespace sim
