#include "stats/ErrorFile.h"

#include <unistd.h>

#include "diag/CrashCapture.h"
#include "stats/StatsReporter.h"

bool HandOverErrorFile(CStatsReporter& reporter, const std::string& path) {
    if (!IsUploadableCrashFile(path) || !reporter.UploadErrorFile(path)) {
        return false;
    }
    // A file that cannot be removed is offered again next time; the service
    // keeps what it already has.
    ::unlink(path.c_str());
    return true;
}
