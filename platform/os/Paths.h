#pragma once
// Program and per-user folders, and path joining.
//
// The program folder is the directory of the running executable; the per-user
// data folder is $XDG_CONFIG_HOME/vanto (default ~/.config/vanto). Both are
// read afresh from the process environment on each call so that a test
// sandbox can redirect them.

#include <string>
#include <string_view>

namespace os {

// Directory of /proc/self/exe, without a trailing separator.
std::string GetProgramFolder();

// Full path of the running executable.
std::string GetProgramPath();

// Replaces the program folder for this process. Tests only: a test program
// lives in the build tree, not in the sandboxed program folder.
void OverrideProgramFolder(std::string folder);

// $XDG_CONFIG_HOME, or ~/.config when unset or not absolute.
std::string GetConfigHome();

// The per-user data folder ($XDG_CONFIG_HOME/vanto). Not created here.
std::string GetUserDataFolder();

// The user's documents folder as the desktop names it (XDG_DOCUMENTS_DIR of
// $XDG_CONFIG_HOME/user-dirs.dirs, "$HOME/…" or absolute), read afresh on
// each call; the home folder when it names none or no existing folder.
std::string GetDocumentsFolder();

// The folder of the machine-wide registry hive: $VANTO_MACHINE_DIR or /var/lib/vanto.
std::string GetMachineDataFolder();

// Creates the folder and its missing parents (mode 0700 for new ones).
// Returns true when the folder exists afterwards.
bool CreateFolderWithParents(const std::string& folder);

// folder + "/" + name, with exactly one separator between them.
std::string PathJoin(std::string_view folder, std::string_view name);

// The last path component.
std::string_view FileNamePart(std::string_view path);

// The path without its last component (no trailing separator; "." when none).
std::string ParentFolder(std::string_view path);

// Resolves the last component of `path` the way a Windows file system would:
// the exact name when it exists, otherwise an entry of the same folder whose
// name equals it without regard to ASCII letter case, otherwise `path` as is
// (so that a writer creates it under the given spelling).
std::string ResolveCaseInsensitive(const std::string& path);

// Whether a folder (followed through links) is at `path`.
bool IsFolder(const std::string& path);

// Whether a regular file (followed through links) is at `path`.
bool FileExists(const std::string& path);

}  // namespace os
