#pragma once
// The crash file's hand-over to the statistics service: removing it once the
// service accepted it. Which files may be sent is the crash capture's rule
// (IsUploadableCrashFile in diag/CrashCapture.h: a regular file of 1 byte to
// 2 MiB).

#include <string>

class CStatsReporter;

// Uploads the crash file at `path` when it may be sent, and deletes it when
// the service accepted it. A file that is empty, too large, or refused stays
// where it is. True when the service accepted the file; a file that cannot be
// deleted then is simply offered again next time. Blocks the calling thread.
bool HandOverErrorFile(CStatsReporter& reporter, const std::string& path);
