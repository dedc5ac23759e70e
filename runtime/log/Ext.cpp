#include "runtime/log/Ext.h"

#include <iomanip>

namespace ext {

std::ostream& operator<<(std::ostream& os, const OutBufInHex& hex) {
  std::ios_base::fmtflags flags = os.flags();
  os << std::hex << std::uppercase << std::setfill('0');
  for (const uint8_t* p = hex.begin; p != hex.end; ++p) {
    os << std::setw(2) << unsigned{*p} << ' ';
  }
  os.flags(flags);
  os.fill(' ');
  return os;
}

std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& hex) {
  std::ios_base::fmtflags flags = os.flags();
  os << "0x" << std::hex << std::uppercase << std::setfill('0') << std::setw(hex.width) << hex.value;
  os.flags(flags);
  os.fill(' ');
  return os;
}

}  // namespace ext
