#include "library/DownloadRecords.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "platform/os/Paths.h"
#include "platform/os/Profile.h"
#include "platform/os/Text.h"

std::string TemplatesFolder() {
    return os::PathJoin(os::GetUserDataFolder(), "KD_template");
}

bool EnsureTemplatesFolder() {
    const std::string folder = TemplatesFolder();
    return os::IsFolder(folder) || mkdir(folder.c_str(), 0700) == 0 ||
           (errno == EEXIST && os::IsFolder(folder));
}

std::string DownloadRecordFile() {
    return os::PathJoin(os::GetUserDataFolder(), "KD_template/downloaded.ini");
}

std::string ReadDownloadRecord(std::string_view userId, std::string_view documentId) {
    if (documentId.empty())
        return {};
    return os::ReadProfileString(userId, documentId, "", DownloadRecordFile(), kMaxRecordPath + 1);
}

bool WriteDownloadRecord(std::string_view userId, std::string_view documentId, std::string_view path) {
    if (documentId.empty() || path.empty() || os::Utf16Length(path) > kMaxRecordPath)
        return false;
    return os::WriteProfileString(userId, documentId, path, DownloadRecordFile());
}

bool RemoveDownloadRecord(std::string_view userId, std::string_view documentId) {
    if (documentId.empty())
        return false;
    return os::WriteProfileString(userId, documentId, std::nullopt, DownloadRecordFile());
}
