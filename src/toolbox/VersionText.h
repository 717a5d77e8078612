#pragma once
// The toolbox host's version file ("version=" and the version of the
// archive it offers) and the comparison with the installed archive's
// version. Versions are texts: "2" is newer than "10".

#include <optional>
#include <string>
#include <string_view>

// The version a version file offers: every line feed and tab is removed
// first, then the text must begin with "version=" (exact case); the rest is
// the version (possibly empty). Nothing when the text does not begin so.
// Any thread.
std::optional<std::string> ToolboxServerVersion(std::string_view fileText);

// Whether the server's version is newer than the installed one: strictly
// greater, comparing UTF-16 code units as unsigned numbers one by one, a
// text that ends first being the smaller. Any thread.
bool IsNewerToolboxVersion(std::string_view server, std::string_view local);
