#include "platform/BoardPath.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

std::string BoardRoot() {
#ifdef GATEWAY_BOARD
  return std::string();
#else
  const char* root = std::getenv("GATEWAY_ROOT");
  return root == nullptr ? std::string() : std::string(root);
#endif
}

bool AnchorBoardRoot() {
#ifdef GATEWAY_BOARD
  return true;
#else
  const std::string root = BoardRoot();
  if (root.empty() || root.front() == '/') {
    return true;
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(root, error);
  if (error) {
    errno = error.value();
    return false;
  }
  return setenv("GATEWAY_ROOT", absolute.c_str(), 1) == 0;
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
