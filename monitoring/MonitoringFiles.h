#pragma once

#include <string>

// The small text files under "/var/monitoring/" that other programs on the
// board read. Paths are the board's ("/var/monitoring/dip"), resolved through
// the board root. No link below "/var/monitoring/" is followed, so nothing is
// written or removed outside it. Every file-system failure is one line in the
// debug stream; none stops the caller.
namespace MonitoringFiles {

constexpr const char* kRoot = "/var/monitoring/";
// The server's own entries of kRoot.
constexpr const char* kDipPath = "/var/monitoring/dip";
constexpr const char* kPowerStatusPath = "/var/monitoring/powerstatus";
constexpr const char* kConfigVersionPath = "/var/monitoring/config_version";
constexpr const char* kBoardPrefix = "/var/monitoring/board";      // + position
constexpr const char* kEmPhonePrefix = "/var/monitoring/emphone";  // + id
constexpr const char* kTermCounterDir = "/var/monitoring/term_cnts/";
constexpr const char* kControllerDir = "/var/monitoring/controller/";
// The name a file is written under before it is renamed into place. It holds a
// control character, which no name taken from the controller may hold.
constexpr const char* kTemporaryName = ".tmp\x7f";

// The text as a log line may hold it: control bytes shown as "\xNN", so no
// name from the controller or the folder can break or forge a line.
[[nodiscard]] std::string Printable(const std::string& text);
// True when a directory named so at the top of kRoot would stand in the place
// of one of the server's own entries: a section of the controller may not.
[[nodiscard]] bool IsServerEntry(const std::string& name);
// Replaces the file with content as one step: written under the temporary
// name in the same directory, then renamed over it, so a reader sees the old
// content or the new, never a part. False when the file is left as it was.
[[nodiscard]] bool SaveStatusToFile(const std::string& path, const std::string& content);
// Makes the directory when it does not exist yet.
void CheckForMonDir(const std::string& path);
// Makes "/var/monitoring/controller/" and the directory of the dotted address;
// for the board's own address also points the "self" link at the latter,
// replacing a link that points elsewhere.
void CheckForMonControllerDir(const std::string& dotted_address, bool self);
// Removes the top-level entries of "/var/monitoring/" (a directory that still
// holds files stays with them), and whatever stands in the server's own places
// whatever its kind: its files at the top and temporaries anywhere below.
void ClearMonitorFiles();
// Removes the top-level entries whose names begin with "board"; false when
// "/var/monitoring/" cannot be read.
[[nodiscard]] bool ClearBoardFiles();

}  // namespace MonitoringFiles
