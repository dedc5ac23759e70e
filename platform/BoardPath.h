#pragma once

#include <string>

namespace platform {

// Resolves one of the board's own fixed absolute paths (configuration, status
// files, device nodes, child programs). On the board the root is empty; on the
// host build it comes from GATEWAY_ROOT, so a test or a workstation run keeps the
// board's files in a folder of its own. Generic Linux paths (/proc/<pid>/stat)
// must not go through here.
std::string BoardPath(const std::string& absolute_path);

// The root in effect, read from the environment at every call so a test can
// point each case at a fresh folder.
std::string BoardRoot();

// Makes a relative GATEWAY_ROOT absolute against the working directory, for
// the rest of the run and for the child programs: the server later works in
// other folders (its configuration folder, or / as a daemon). False, with
// errno, when the working directory cannot be read; the root then stays as
// given.
[[nodiscard]] bool AnchorBoardRoot();

// The start-up log's line naming the root in use on the host build, where a
// missing GATEWAY_ROOT means the host's own paths; empty on the board.
std::string BoardRootLine();

}  // namespace platform
