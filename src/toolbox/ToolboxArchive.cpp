#include "toolbox/ToolboxArchive.h"

#include "config/Settings.h"
#include "library/FileFetch.h"
#include "net/CCurlRequestW.h"
#include "net/ServerHosts.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Event.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Registry.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

using DuiLib::BackgroundJob;

namespace {

// What the check takes along to its thread.
struct Check {
    std::string name;
    std::string dataFolder;
    VersionFile versionFile;
    HWND owner = nullptr;
    UINT readyMessage = 0;
};

// Downloads the archive the host offers into the download file and puts it
// in place with its version and today's day. True when "toolbox.dat" is the
// new archive. Check thread.
bool Download(BackgroundJob::Context& job, const Check& check, const std::string& base,
              const std::string& version) {
    const std::string archive = os::PathJoin(check.dataFolder, CToolboxArchive::kFileName);
    const std::string download = archive + CToolboxArchive::kDownloadSuffix;
    ::unlink(download.c_str());
    ::unlink(archive.c_str());
    os::CreateFolderWithParents(check.dataFolder);
    CFileFetch fetch;
    fetch.SetStopEvent(job.StopEvent());
    // An archive the panel would refuse to read is not downloaded either.
    fetch.SetSizeCap(std::min<std::uint64_t>(fetch.SizeCap(), CToolboxArchive::kMaxBytes));
    if (fetch.Fetch(base + "/toolbox.zip", download, CREATE_ALWAYS) != S_OK) {
        // Nothing of a failed download is kept.
        ::unlink((download + ".upd").c_str());
        DebugPrint("toolbox archive download failed\n");
        return false;
    }
    os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion, version);
    check.versionFile.RecordDay(check.versionFile.Today());
    return std::rename(download.c_str(), archive.c_str()) == 0;
}

// The check: the version file, and a newer archive when the host offers
// one. Check thread.
void Refresh(BackgroundJob::Context& job, const Check& check) {
    const std::string local =
        os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxVersion).value_or("");
    const std::string base = HostUrl(ServerHost::Toolbox, "/" + check.name);
    const std::string text = FetchUrlText(base + "/version.html", job.StopEvent());
    const bool hadArchive = os::FileExists(os::PathJoin(check.dataFolder, CToolboxArchive::kFileName));
    if (job.StopRequested())
        return;
    const std::optional<std::string> server = VersionFile::ReadVersion(text);
    if (!server || !VersionFile::IsNewer(*server, local))
        return;
    if (Download(job, check, base, *server) && !hadArchive) {
        job.Deliver(
            [owner = check.owner, message = check.readyMessage] { ::PostMessageW(owner, message, 0, 0); });
    }
}

}  // namespace

CToolboxArchive::CToolboxArchive(std::string dataFolder)
    : m_dataFolder(std::move(dataFolder)), m_versionFile(std::string(settings::kToolboxDay)) {}

std::string CToolboxArchive::Path() const {
    return os::PathJoin(m_dataFolder, kFileName);
}

bool CToolboxArchive::IsAvailable() const {
    return os::FileExists(Path());
}

std::optional<std::string> CToolboxArchive::Read() const {
    return os::ReadWholeFile(Path(), kMaxBytes);
}

void CToolboxArchive::StartCheck(std::string_view name, HWND owner, UINT readyMessage) {
    if (m_versionFile.CheckedOn(m_versionFile.Today()))
        return;
    Check check{std::string(name), m_dataFolder, m_versionFile, owner, readyMessage};
    // Runs on the check's thread, with its own copy of what it needs.
    m_check.Start([check = std::move(check)](BackgroundJob::Context& job) { Refresh(job, check); },
                  {.window = owner});
}
