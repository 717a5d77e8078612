#pragma once
// Writes an OLE compound file whose root storage holds the given streams,
// through libgsf's MSOLE writer. The file appears atomically: it is written
// to a temporary file in the target folder, flushed to disk and renamed over
// the target, so a failure never leaves a half-written file under the
// target's name.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using StreamList = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

// False with a readable reason in `error` when anything fails.
bool WriteCompoundFile(const std::string& path, const StreamList& streams, std::string& error);
