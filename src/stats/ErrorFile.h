#pragma once
// The crash file's hand-over to the statistics service: which files may be
// sent, and removing one once the service accepted it.

#include <cstdint>
#include <string>

class CStatsReporter;

// The largest crash file that is sent: 2 MiB.
inline constexpr std::uint64_t kErrorFileMaxBytes = 2097152;

// True when `path` names a regular file of 1 to kErrorFileMaxBytes bytes.
bool IsErrorFileSendable(const std::string& path);

// Uploads the crash file at `path` when it may be sent, and deletes it when
// the service accepted it. A file that is empty, too large, or refused stays
// where it is. True when the service accepted the file; a file that cannot be
// deleted then is simply offered again next time.
bool HandOverErrorFile(CStatsReporter& reporter, const std::string& path);
