#include "stats/ErrorFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include "stats/StatsReporter.h"

bool IsErrorFileSendable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    return info.st_size >= 1 && static_cast<std::uint64_t>(info.st_size) <= kErrorFileMaxBytes;
}

bool HandOverErrorFile(CStatsReporter& reporter, const std::string& path) {
    if (!IsErrorFileSendable(path) || !reporter.UploadErrorFile(path)) {
        return false;
    }
    // A file that cannot be removed is offered again next time; the service
    // keeps what it already has.
    ::unlink(path.c_str());
    return true;
}
