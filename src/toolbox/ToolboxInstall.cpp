#include "toolbox/ToolboxInstall.h"

#include "library/DownLoadCallBack.h"
#include "library/FileFetch.h"
#include "platform/os/ChildProcess.h"
#include "platform/os/DebugPrint.h"
#include "platform/os/Event.h"
#include "platform/os/FileIo.h"
#include "platform/os/Paths.h"
#include "platform/os/Shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>

using DuiLib::BackgroundJob;

namespace {

// Hands one of the panel's messages about the install's entry to the UI
// thread. Install thread.
void Send(BackgroundJob::Context& job, const std::shared_ptr<const CToolboxInstall::Report>& report,
          UINT message, int index) {
    job.Deliver([report, message, index] { (*report)(message, 0, index); });
}

// The observer of one installer download: its steps become the panel's
// messages; a stop request ends the download at its next step. Install
// thread.
class InstallObserver final : public IDownLoadCallBack {
  public:
    InstallObserver(BackgroundJob::Context& job, std::shared_ptr<const CToolboxInstall::Report> report)
        : m_job(job), m_report(std::move(report)) {}

    void OnStatus(int code, DWORD index) override {
        if (code != 200)
            Send(m_job, m_report, CToolboxInstall::kMsgDownloadFailed, static_cast<int>(index));
    }
    void OnStart(const std::string&, std::uint64_t, DWORD) override {}
    int OnProgress(int failed, int, std::uint64_t received, std::uint64_t total, DWORD) override {
        if (m_job.StopRequested() || failed != 0)
            return 1;
        if (const std::optional<WPARAM> percent = CToolboxInstall::Percent(received, total))
            m_job.ReportProgress(static_cast<int>(*percent));
        return 0;
    }
    void OnComplete(DWORD index) override {
        Send(m_job, m_report, CToolboxInstall::kMsgDownloaded, static_cast<int>(index));
    }

  private:
    BackgroundJob::Context& m_job;
    std::shared_ptr<const CToolboxInstall::Report> m_report;
};

// Runs the downloaded installer and waits for it or the stop request; the
// entry's last message. Install thread.
UINT RunInstaller(BackgroundJob::Context& job, const CToolboxInstall::Request& request,
                  const std::string& target) {
    // The download was written for this user only; the installer must be
    // able to run.
    ::chmod(target.c_str(), 0700);
    // See the header: "runas" is a plain start as the user here, and a
    // client running as root takes the design's direct branch.
    const bool direct = request.isUserAnAdmin();
    bool endedFirst = false;
    if (std::optional<os::ChildProcess> installer =
            os::ChildProcess::Start(target, os::SplitParameters(request.commandLine))) {
        endedFirst = installer->WaitForExitOrStop(job.StopEvent(), std::chrono::milliseconds(-1)) ==
                     os::ChildProcess::WaitResult::kExited;
    } else {
        DebugPrint("toolbox installer could not be started\n");
    }
    return !direct && endedFirst ? CToolboxInstall::kMsgInstalled : CToolboxInstall::kMsgInstallerEnded;
}

// One install: the download with the entry's progress, then the installer.
// Install thread.
void RunInstall(BackgroundJob::Context& job, const CToolboxInstall::Request& request,
                const std::shared_ptr<const CToolboxInstall::Report>& report) {
    const std::string target = os::PathJoin(request.folder, request.installer);
    InstallObserver observer(job, report);
    CFileFetch fetch(&observer, static_cast<DWORD>(request.index));
    fetch.SetStopEvent(job.StopEvent());
    os::CreateFolderWithParents(request.folder);
    if (fetch.Fetch(request.url, target, CREATE_ALWAYS) != S_OK) {
        ::unlink((target + ".upd").c_str());
        return;
    }
    Send(job, report, RunInstaller(job, request, target), request.index);
}

}  // namespace

bool CToolboxInstall::Start(Request request, HWND panel, Report report) {
    if (IsRunning() || !report)
        return false;
    if (!request.isUserAnAdmin)
        request.isUserAnAdmin = os::IsUserAnAdmin;
    m_installer = request.installer;
    auto shared = std::make_shared<const Report>(std::move(report));
    const int index = request.index;
    BackgroundJob::Options options{
        .window = panel,
        .onProgress = [shared,
                       index](int percent) { (*shared)(kMsgProgress, static_cast<WPARAM>(percent), index); },
    };
    // Runs on the install's thread, with its own copy of the request.
    return m_job.Start([request = std::move(request),
                        shared](BackgroundJob::Context& job) { RunInstall(job, request, shared); },
                       std::move(options));
}

std::optional<WPARAM> CToolboxInstall::Percent(std::uint64_t received, std::uint64_t total) {
    if (total == 0)
        return std::nullopt;
    return static_cast<WPARAM>(static_cast<double>(received) * 100.0 / static_cast<double>(total));
}
