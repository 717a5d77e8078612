#pragma once
// Small file helpers of the demo store. Every file the store writes goes
// through WriteFileAtomic, so a reader (a test, the client, a second start)
// never sees a half-written file.

#include <sys/types.h>
#include <string>

namespace demostore {

// Writes `bytes` to a temporary file beside `path`, then renames it over
// `path` (never over a FIFO, device or folder). `mode` is applied to the new
// file. Creates missing parent folders.
bool WriteFileAtomic(const std::string& path, const std::string& bytes, mode_t mode = 0644);

// Reads the whole file; false when it is not a regular file or cannot be
// opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

bool FileExists(const std::string& path);

}  // namespace demostore
