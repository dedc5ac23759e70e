#include "platform/BoardPath.h"

#include <cstdlib>

namespace platform {

std::string BoardRoot() {
#ifdef GATEWAY_BOARD
  return std::string();
#else
  const char* root = std::getenv("GATEWAY_ROOT");
  return root == nullptr ? std::string() : std::string(root);
#endif
}

std::string BoardRootLine() {
#ifdef GATEWAY_BOARD
  return std::string();
#else
  const std::string root = BoardRoot();
  return root.empty() ? "board root / (GATEWAY_ROOT is not set: the host's own paths)" : "board root " + root;
#endif
}

std::string BoardPath(const std::string& absolute_path) {
  std::string root = BoardRoot();
  while (!root.empty() && root.back() == '/') {
    root.pop_back();
  }
  return root + absolute_path;
}

}  // namespace platform
