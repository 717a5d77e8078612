#pragma once
// The user-data texts of the toolbox archive's layout: the "list" control
// and every list entry carry items "key=value" separated by ";" (the button
// captions on the list; page, registry key, program, installer and its
// command line on an entry).

#include <string>
#include <string_view>

// The value of `key` in `userData`: the text is split at every ";" (empty
// items are dropped, the text after the last ";" is an item too); the first
// item that begins with `key` followed by "=", compared without regard to
// ASCII letter case, gives the rest of that item. A value may hold "=" and
// spaces, kept as written. Empty when no item has the key. Any thread.
std::string UserDataValue(std::string_view userData, std::string_view key);
