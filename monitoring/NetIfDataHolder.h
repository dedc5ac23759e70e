#pragma once

#include <cstdint>
#include <list>
#include <string>

// The watched link of one network interface of the board: whether it runs,
// debounced over its last three samples, with the up(1)/down(2) values of the
// SNMP interface table. A plain value, read field by field.
class NetIfDataHolder {
 public:
  NetIfDataHolder(int32_t if_index, const std::string& if_name);

  // The packet socket that carries the interface requests (close it with
  // platform::Close); -1 with errno on failure.
  static int OpenInterfaceSocket();

  // Samples the interface's running flag once; true when the debounced state
  // changed. A failed sample adds nothing and reports no change.
  [[nodiscard]] bool updateNetIf();
  // Adds one sample (1 running, 0 not); true when the debounced state changed.
  [[nodiscard]] bool setNetIfStatus(int32_t sample);

  int32_t linkUp = -1;  // 1 up, 0 down, -1 not sampled yet
  int32_t operStatus = 2;
  int32_t adminStatus = 2;
  std::list<int32_t> samples;  // oldest first, at most three
  int32_t ifIndex;
  std::string name;  // as found at start, never refreshed
};
