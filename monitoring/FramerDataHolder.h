#pragma once

#include "schemas/ACP.h"

#include <cstdint>
#include <string>
#include <vector>

// What monitoring last knew about one E1 framer: carrier, status text, the two
// loss alarms and the receive slip counters. Two sources update it, the HDLC
// driver's status file of the framer and the trunk state the E1 service
// signals; each update says whether anything changed, so that the framer's
// SNMP items go out only on change. A plain value, read field by field.
class FramerDataHolder {
 public:
  FramerDataHolder(int32_t number, const std::string& path);

  // The bytes of the framer's status file (text up to the first zero byte);
  // 1 when any field changed, else 0.
  [[nodiscard]] int32_t setFramerStatus(const std::vector<unsigned char>& bytes);
  // The trunk state of a trunkStatus signal; 1 when the status text changed.
  [[nodiscard]] int setFramerStatus(ACP::TrunkState::NamedNumber state);

  // False exactly when the status text was last set to "No Carrier" (true
  // after any other first update).
  bool connected = false;
  std::string status = "absent";
  bool signal_loss = true;
  bool frame_alignment_loss = true;
  int32_t negative_slips = 0;
  int32_t positive_slips = 0;
  // 1 to 4: the status file's index plus one, the trunk number plus one and the
  // SNMP row index.
  int32_t number;
  std::string path;

 private:
  bool SetStatusText(const std::string& text);
  bool TakeLine(const std::string& line);
};
