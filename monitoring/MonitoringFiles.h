#pragma once

#include <string>

// The small text files under "/var/monitoring/" that other programs on the
// board read. Paths are the board's ("/var/monitoring/dip"), resolved through
// the board root. Every file-system failure is one line in the debug stream;
// none stops the caller.
namespace MonitoringFiles {

constexpr const char* kRoot = "/var/monitoring/";
constexpr const char* kControllerDir = "/var/monitoring/controller/";

// Replaces the file with content as one step: written under a hidden
// temporary name in the same directory, then renamed over it, so a reader sees
// the old content or the new, never a part. False when the file is left as it
// was.
[[nodiscard]] bool SaveStatusToFile(const std::string& path, const std::string& content);
// Makes the directory when it does not exist yet.
void CheckForMonDir(const std::string& path);
// Makes "/var/monitoring/controller/" and the directory of the dotted address;
// for the board's own address also points the "self" link at the latter,
// replacing a link that points elsewhere.
void CheckForMonControllerDir(const std::string& dotted_address, bool self);
// Removes the top-level entries of "/var/monitoring/" (a directory that still
// holds files stays with them), and temporary files left anywhere below it.
void ClearMonitorFiles();
// Removes the top-level entries whose names begin with "board"; false when
// "/var/monitoring/" cannot be read.
[[nodiscard]] bool ClearBoardFiles();

}  // namespace MonitoringFiles
