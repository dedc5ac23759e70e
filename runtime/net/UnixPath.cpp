#include "runtime/net/UnixPath.h"

#include <cstring>

sockaddr_un UnixSocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}
