#pragma once
// Checks on the names and addresses the toolbox archive hands the client:
// the archive comes from a server, so an entry must not make the client
// write outside its installer folder, overwrite its own files, start a
// program outside a tool's folder, or hand an arbitrary scheme to the
// desktop's opener.

#include <optional>
#include <string>
#include <string_view>

// The subfolder of the per-user data folder that downloaded tool installers
// go to.
inline constexpr std::string_view kToolInstallerFolder = "toolbox-installers";

// Whether `name` is one plain file name the client may create: not empty,
// not "." or "..", no "/" or "\", no control character, at most 255 bytes,
// and none of the client's own files (registry.db, config.ini, toolbox.dat,
// pic_head.jpg, VANTOSetup.exe, Error.tmp, KD_template; compared without
// regard to ASCII letter case). Any thread.
bool IsPlainServerFileName(std::string_view name);

// The tool's program below its install folder: `folder` + "/" + `exe`, when
// `exe` is a relative path that stays inside the folder ("\" counts as a
// separator as it does for the tool's own Windows-shaped data; "." segments
// are dropped; no ".." segment, no control character). Nothing for an
// absolute or escaping path, or one that names the folder itself. Any thread.
std::optional<std::string> ToolProgramPath(std::string_view folder, std::string_view exe);

// Whether `url` is an address the toolbox opens: "http://" or "https://"
// (either case) followed by something, without control characters or
// spaces. Any thread.
bool IsWebAddress(std::string_view url);
