#include "update/update.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "config/LangFile.h"
#include "config/LocalConfig.h"
#include "config/Settings.h"
#include "diag/CrashCapture.h"
#include "library/FileFetch.h"
#include "net/CCurlRequestW.h"
#include "net/ServerApi.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Event.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Profile.h"
#include "platform/os/Registry.h"
#include "platform/os/Shell.h"
#include "stats/ErrorFile.h"
#include "stats/StatsReporter.h"
#include "ui/ShowLangMessage.h"

namespace {

// What a worker's trace line names when its procedure ends by an exception:
// this file and the fixed line of each guard.
constexpr const char* kDiagnosticFile = "update.cpp";
constexpr int kAutomaticFaultLine = 269;
constexpr int kAutomaticOtherLine = 270;
constexpr int kManualLine = 436;

constexpr const char* kConfigFile = "config.ini";
constexpr const char* kPendingSection = "Main";
constexpr const char* kPendingKey = "HasNewInstaller";
constexpr UINT kBalloonTimeoutMs = 1000;

std::string ConfigPath() {
    return os::PathJoin(os::GetUserDataFolder(), kConfigFile);
}

// A message of the "Message" stream over `owner`, shown by the UI thread. On
// the UI thread it is shown at once; from the worker it is handed to the UI
// thread, and the worker waits for the answer. 0 when the owner window is
// gone before the message could be shown (nothing is shown then). Any thread.
int ShowMessage(HWND owner, std::string_view key, UINT style) {
    if (DuiLib::IsUiThread())
        return ShowLangMessage(key, owner, style, {});
    int answer = 0;
    DuiLib::SendCall(owner, [&] { answer = ShowLangMessage(key, owner, style, {}); });
    return answer;
}

// Deletes the installer and fetches it again into the same file. The side
// file of a failed fetch stays, as the fetch leaves it; `stop` ends the
// fetch at once. Worker thread.
bool DownloadInstaller(const os::Event* stop) {
    const std::string path = InstallerPath();
    ::unlink(path.c_str());
    CFileFetch fetch;
    fetch.SetStopEvent(stop);
    return fetch.Fetch(api::InstallerUrl(), path, CREATE_ALWAYS) == S_OK;
}

// The version the update host offers; nothing when the file is missing or
// holds no version. Worker thread.
std::optional<std::string> FetchServerVersion(const os::Event* stop) {
    return VersionFile::ReadVersion(FetchUrlText(api::VersionFileUrl(), stop));
}

// The offer of OfferInstaller with the question over `owner`. Any thread.
bool OfferInstallerOver(HWND owner) {
    const std::string path = InstallerPath();
    if (!os::FileExists(path) || ShowMessage(owner, "HasUpdate", CUpdate::kStyleYesNo) != CUpdate::kAnswerYes)
        return false;
    return StartInstaller(path);
}

}  // namespace

// What a worker needs, copied when it starts, so that the UI thread may
// change the component's fields (a second menu use) while the worker runs.
struct CUpdate::Job {
    bool automatic = false;
    HWND owner = nullptr;
    HICON balloonIcon = nullptr;
    bool balloonShown = false;
    int canUpdate = 1;

    // The download notification over the owner, when the owner is a live
    // window. Worker thread.
    void ShowDownloadBalloon() {
        if (!::IsWindow(owner))
            return;
        NOTIFYICONDATAW data;
        data.hWnd = owner;
        data.uID = kBalloonIconId;
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
        data.uCallbackMessage = kBalloonCallbackMessage;
        data.hIcon = balloonIcon;
        const std::string title = LoadLangText("DownloadingUpdate");
        os::SetNotifyText(data.szTip, title);
        os::SetNotifyText(data.szInfo, LoadLangText("ProductName"));
        os::SetNotifyText(data.szInfoTitle, title);
        data.uTimeout = kBalloonTimeoutMs;
        data.dwInfoFlags = NIIF_NONE;
        balloonShown = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
    }

    // Withdraws the notification. Worker thread.
    void RemoveBalloon() {
        if (balloonIcon == nullptr && !balloonShown)
            return;
        NOTIFYICONDATAW data;
        data.hWnd = owner;
        data.uID = kBalloonIconId;
        Shell_NotifyIconW(NIM_DELETE, &data);
        balloonIcon = nullptr;
        balloonShown = false;
    }
};

CUpdate& CUpdate::Instance() {
    // Shared, so that a worker still running at the end of the process keeps
    // the object it runs for.
    static const std::shared_ptr<CUpdate> instance = std::make_shared<CUpdate>();
    return *instance;
}

CUpdate::CUpdate() : m_versionFile(std::string(settings::kUpdateDay)) {}

CUpdate::~CUpdate() = default;

void CUpdate::OnVersionCheck() {}

bool CUpdate::IsWorkerRunning() {
    return m_job.IsRunning();
}

void CUpdate::StartDailyCheck() {
    // Today's check must not be spent on a start that cannot happen.
    if (IsWorkerRunning())
        return;
    const int today = m_versionFile.Today();
    if (m_versionFile.CheckedOn(today))
        return;
    m_versionFile.RecordDay(today);
    m_isAutomatic = true;
    StartWorker(true);
}

void CUpdate::CheckFromMenu(HWND owner, HICON icon) {
    m_ownerWindow = owner;
    m_balloonIcon = icon;
    if (IsWorkerRunning()) {
        ShowLangMessage("Updating", owner, kStyleInformation, {});
        return;
    }
    if (IsInstallerPending()) {
        OfferInstaller();
        return;
    }
    m_isAutomatic = false;
    StartWorker(false);
}

bool CUpdate::OfferInstaller() {
    return OfferInstallerOver(m_ownerWindow);
}

bool CUpdate::IsInstallerPending() {
    return os::ReadProfileInt(kPendingSection, kPendingKey, 0, ConfigPath()) != 0 &&
           os::FileExists(InstallerPath());
}

void CUpdate::MarkInstallerPending() {
    os::WriteProfileString(kPendingSection, kPendingKey, "1", ConfigPath());
}

bool CUpdate::WaitForWorker(std::chrono::milliseconds limit) const {
    return m_job.WaitFor(limit);
}

bool CUpdate::StartWorker(bool automatic) {
    std::shared_ptr<CUpdate> self = weak_from_this().lock();
    if (!self) {
        DebugPrint("update: the check needs a shared component; not started");
        return false;
    }
    auto job = std::make_shared<Job>();
    job->automatic = automatic;
    job->owner = m_ownerWindow;
    job->balloonIcon = m_balloonIcon;
    job->canUpdate = CLocalConfig::Instance().CanUpdate();
    // Runs on the worker thread. The worker holds its share of this object
    // and its own job; nothing else of the UI thread is touched. Nothing is
    // delivered: the manual check's messages are questions the worker waits
    // for (ShowMessage).
    return m_job.Start([self = std::move(self), job](DuiLib::BackgroundJob::Context& context) {
        const os::Event* stop = context.StopEvent();
        if (job->automatic)
            RunGuardedWorkerBody(kDiagnosticFile, kAutomaticFaultLine, kAutomaticOtherLine,
                                 [&] { RunAutomatic(*self, *job, stop); });
        else
            RunGuardedWorkerBody(kDiagnosticFile, kManualLine, [&] { RunManual(*self, *job, stop); });
    });
}

// The automatic procedure, silent throughout. Worker thread.
void CUpdate::RunAutomatic(CUpdate& self, Job& job, const os::Event* stop) {
    CStatsReporter& reporter = CStatsReporter::Instance();
    const std::string local = ReadProgramVersion();
    if (os::RegValueExists(HKEY_CURRENT_USER, settings::kClientKey, settings::kSendInstallMessage)) {
        // An advertising id derived from the installer's name is stored
        // first, so that this and every later report carries it.
        ReadAdId(true);
        // A refused report stays pending for the next day's check.
        if (reporter.SendAction(CStatsReporter::kActionInstall))
            os::RegDeleteValue(HKEY_CURRENT_USER, settings::kClientKey, settings::kSendInstallMessage);
    }
    reporter.SendAction(CStatsReporter::kActionUpdateCheck);
    self.OnVersionCheck();
    const std::optional<std::string> server = FetchServerVersion(stop);
    if (server && job.canUpdate != 0 && !IsInstallerPending() && VersionFile::IsNewer(*server, local) &&
        DownloadInstaller(stop)) {
        MarkInstallerPending();
        reporter.SendAction(CStatsReporter::kActionUpdateDownloaded);
    }
    // The crash file of an earlier run; one that is empty or too large stays.
    HandOverErrorFile(reporter, CrashFilePath());
}

// The manual procedure: its messages are shown over the owner. Worker thread.
void CUpdate::RunManual(CUpdate& self, Job& job, const os::Event* stop) {
    const std::string local = ReadProgramVersion();
    const std::optional<std::string> server = FetchServerVersion(stop);
    self.OnVersionCheck();
    if (!server) {
        ShowMessage(job.owner, "NoVersion", kStyleInformation);
        return;
    }
    // "CanUpdate" is for the automatic check only.
    if (!VersionFile::IsNewer(*server, local)) {
        ShowMessage(job.owner, "NotUpdate", kStyleInformation);
        return;
    }
    job.ShowDownloadBalloon();
    if (!DownloadInstaller(stop)) {
        job.RemoveBalloon();
        ShowMessage(job.owner, "UpdateFail", kStyleInformation);
        return;
    }
    MarkInstallerPending();
    CStatsReporter::Instance().SendAction(CStatsReporter::kActionUpdateDownloaded);
    OfferInstallerOver(job.owner);
    job.RemoveBalloon();
}

std::string InstallerPath() {
    return os::PathJoin(os::GetUserDataFolder(), CUpdate::kInstallerFileName);
}

bool StartInstaller(const std::string& path) {
    // Only our own regular file is made executable, never what a planted
    // link points at.
    os::UniqueFd file = os::OpenOwnRegularFile(path, O_RDONLY);
    if (!file || ::fchmod(file.Get(), S_IRWXU) != 0) {
        DebugPrint("update: the installer %s cannot be made executable", path.c_str());
        return false;
    }
    file.Close();
    if (!os::StartProgramDetached(path, {})) {
        DebugPrint("update: the installer %s could not be started", path.c_str());
        return false;
    }
    return true;
}
