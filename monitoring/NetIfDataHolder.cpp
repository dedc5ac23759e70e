#include "monitoring/NetIfDataHolder.h"

#include "platform/Device.h"
#include "runtime/log/TraceFlags.h"

#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <numeric>

namespace {

// The socket only carries the interface requests; its protocol is never used.
constexpr int kPacketProtocol = 255;
constexpr size_t kDebounceSamples = 3;

void TraceFailure(const char* what) {
  if (traces.monitoring.internal) {
    std::clog << what << " errno=\"" << std::strerror(errno) << "\"" << std::endl;
  }
}

}  // namespace

NetIfDataHolder::NetIfDataHolder(int32_t if_index, const std::string& if_name) : ifIndex(if_index), name(if_name) {}

int NetIfDataHolder::OpenInterfaceSocket() {
  return platform::InterfaceSocket(AF_PACKET, SOCK_RAW, kPacketProtocol);
}

bool NetIfDataHolder::updateNetIf() {
  const int sock = OpenInterfaceSocket();
  if (sock < 0) {
    TraceFailure("Error open socket: ");
    return false;
  }
  ifreq request{};
  request.ifr_ifindex = ifIndex;
  bool changed = false;
  if (platform::Ioctl(sock, SIOCGIFNAME, &request) < 0 || platform::Ioctl(sock, SIOCGIFFLAGS, &request) < 0) {
    TraceFailure("Error ioctl socket: ");
  } else {
    changed = setNetIfStatus((request.ifr_flags & IFF_RUNNING) != 0 ? 1 : 0);
  }
  platform::Close(sock);
  return changed;
}

bool NetIfDataHolder::setNetIfStatus(int32_t sample) {
  samples.push_back(sample);
  while (samples.size() > kDebounceSamples) {
    samples.pop_front();
  }
  // Up when at least two of the samples held ran.
  const int32_t state = std::accumulate(samples.begin(), samples.end(), 0) > 1 ? 1 : 0;
  const bool changed = state != linkUp;
  linkUp = state;
  operStatus = state == 1 ? 1 : 2;
  adminStatus = operStatus;
  return changed;
}
